#!/usr/bin/env bash
# The fuzzing stage of the test command: builds the libFuzzer targets with clang
# (AddressSanitizer, UndefinedBehaviorSanitizer, LeakSanitizer) in build-fuzz,
# replays every saved reproducer under fuzz/regressions, then fuzzes each target
# for a bounded time from seeds made out of the reference corpus.
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [JOBS]      (defaults: 60, 1)
#
# VANTOREL_FUZZ_TIMEOUT sets the seconds one input may take before it counts as
# a hang (default 60: generous, since sanitizer builds on a loaded machine are
# slow; a real hang never ends).
# A finding fails the stage and is printed in full (hex), so a CI log alone is
# enough to reproduce it: save the bytes under fuzz/regressions/ and they become
# a regression test of every build.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-${VANTOREL_FUZZ_SECONDS:-60}}
jobs=${2:-${VANTOREL_FUZZ_JOBS:-1}}
targets=(read_image read_file)
build=build-fuzz

CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVANTOREL_SANITIZE=ON -DVANTOREL_FUZZ=ON >/dev/null
cmake --build "$build" --target "${targets[@]/#/fuzz_}" -j "$(nproc)"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:halt_on_error=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

print_finding() {  # $1: file
  echo "---- reproducer $1 ($(stat -c %s "$1") bytes), hex:"
  xxd -p "$1"
  echo "---- end of reproducer; save it with: xxd -r -p > fuzz/regressions/<name>"
}

failed=0
for t in "${targets[@]}"; do
  bin="$build/fuzz/fuzz_$t"
  echo "== fuzz_$t: saved reproducers"
  mapfile -t saved < <(find fuzz/regressions -type f | sort)
  if [ ${#saved[@]} -gt 0 ] && ! "$bin" -runs=0 -timeout=60 "${saved[@]}" > "$build/replay-$t.log" 2>&1; then
    tail -n 60 "$build/replay-$t.log"
    failed=1
  fi
done

seeds="$build/seeds"
rm -rf "$seeds"
bash scripts/fuzz-seeds.sh "$seeds" >/dev/null
for t in "${targets[@]}"; do
  bin="$build/fuzz/fuzz_$t"
  work="$build/corpus-$t"
  findings="$build/findings-$t"
  rm -rf "$findings"
  mkdir -p "$work" "$findings"
  echo "== fuzz_$t: ${seconds}s on $jobs job(s)"
  args=(-max_total_time="$seconds" -timeout="${VANTOREL_FUZZ_TIMEOUT:-60}" -rss_limit_mb=2560 -max_len=32780 -print_final_stats=1
        -artifact_prefix="$findings/")
  if [ "$jobs" -gt 1 ]; then args+=(-fork="$jobs" -ignore_crashes=0); fi
  rc=0
  "$bin" "${args[@]}" "$work" "$seeds" > "$build/fuzz-$t.log" 2>&1 || rc=$?
  grep -E '^(stat::|#[0-9]+ *DONE|Done )' "$build/fuzz-$t.log" || true
  shopt -s nullglob
  found=("$findings"/crash-* "$findings"/leak-* "$findings"/timeout-* "$findings"/oom-*)
  shopt -u nullglob
  if [ "$rc" -ne 0 ] || [ ${#found[@]} -gt 0 ]; then
    failed=1
    grep -E 'ERROR|SUMMARY|runtime error|#[0-9]+ 0x' "$build/fuzz-$t.log" | head -n 60 || true
    for f in "${found[@]}"; do print_finding "$f"; done
  fi
done
exit $failed
