#!/usr/bin/env bash
# The main job: install what is missing, build, make a sample picture with
# ImageMagick and run the tool on it, leaving out/sample.png for a person to open.
set -euo pipefail
cd "$(dirname "$0")/.."
VANTOREL_WINDOWS=0 bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target vantorel
mkdir -p out
convert logo: -quality 90 out/sample.jpg
echo "== build/vantorel info out/sample.jpg"
./build/vantorel info out/sample.jpg
echo "== build/vantorel decode out/sample.jpg out/sample.png"
./build/vantorel decode out/sample.jpg out/sample.png
echo "decoded out/sample.jpg to out/sample.png ($(identify -format '%wx%h' out/sample.png 2>/dev/null || echo '?'))"
