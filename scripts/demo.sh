#!/usr/bin/env bash
# The main job: install what is missing, build, make a sample picture and run the
# tool on it.
set -euo pipefail
cd "$(dirname "$0")/.."
VANTOREL_WINDOWS=0 bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
mkdir -p out
convert logo: -quality 90 out/sample.jpg
./build/vantorel info out/sample.jpg
if ./build/vantorel decode out/sample.jpg out/sample.png 2>/dev/null; then
  echo "decoded out/sample.jpg to out/sample.png"
fi
