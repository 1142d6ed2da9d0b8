#!/usr/bin/env bash
# Runs every test: the release build (also once per forced processor variant
# index), then the sanitizer build (AddressSanitizer,
# UndefinedBehaviorSanitizer and LeakSanitizer), then every fuzz target for about a
# minute each with its saved reproducers, then the Windows suites when the cross
# compilers and Wine are present.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)

echo "== release build"
cmake --preset release >/dev/null
cmake --build --preset release -j "$jobs"
ctest --preset release -j "$jobs"

# The same suite with every processor variant index forced (0 is the generic
# fill; bodies a processor lacks are never installed whatever the index).
for cpu in 0 1 2 3 4 5 6; do
  echo "== release tests, processor variant index $cpu"
  VANTOREL_USECPU=$cpu ctest --preset release -j "$jobs" --output-on-failure | tail -n 3
done

echo "== sanitizer build"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs"

echo "== fuzzing (libFuzzer, clang, sanitizers)"
bash scripts/fuzz.sh "${VANTOREL_FUZZ_SECONDS:-60}"

if [ -x scripts/test-windows.sh ]; then
  echo "== windows builds"
  bash scripts/test-windows.sh
fi
