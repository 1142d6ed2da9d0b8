#!/usr/bin/env bash
# Makes the fuzzing seed folder at run time: every JPEG of the reference corpus
# (large ones cut to their first 16 KiB, which still holds all their headers and
# the start of their scans), each prefixed with three of the 12-byte request
# headers the fuzz targets read first, taken in turn so that every header meets
# a third of the files. Seeds are never committed; a short run spends its time
# fuzzing rather than replaying a large seed set.
#
#   scripts/fuzz-seeds.sh OUTPUT_FOLDER [CORPUS_FOLDER]
set -euo pipefail
out=${1:?usage: fuzz-seeds.sh OUTPUT_FOLDER [CORPUS_FOLDER]}
corpus=${2:-"$(dirname "$0")/../../shared/corpus"}
if [ ! -d "$corpus" ]; then
  echo "fuzz-seeds: no corpus at $corpus; seeding with a minimal stream only" >&2
fi
mkdir -p "$out"

# Request headers (hex, 12 bytes). Byte 0 chooses the kind (0-2: parameters,
# tables, thumbnail; 3-5: image), byte 1 the scale, byte 2 the DIB layout,
# byte 3 the row pad, byte 4 the flags (1 region, 2 bottom-up, 4 smoothing,
# 8 scaled transform family, 16 step by step, 32 coefficient output, 64 a second
# region on the same record, 128 transformed coefficients), bytes 5-8 the region, bytes 9-10
# a file-position shift and the comment capacity, byte 11 the processor variant.
headers=(
  "000000000000000000000007"   # parameters
  "020403010000000000001007"   # thumbnail into a small RGB DIB
  "030000000000000000003f07"   # whole image, BGR
  "030101020110203040000500"   # half scale, RGB, region
  "040302030600000000800007"   # eighth scale, grey, bottom-up, smoothing
  "050203011800000000ff2006"   # quarter scale, four channels, step by step, scaled transforms
  "030004000400000000000005"   # full scale, packed YCbCr, smoothing
  "030006001c00000000000003"   # full scale, as the stream's own layout, step, smoothing
  "030000002000000000000007"   # quantised coefficients into caller planes
  "03020000a000000000000007"   # inverse-transformed blocks into caller planes
  "030100014100000000000007"   # a region, then the record used again on a new buffer
  "010000002000000000000007"   # tables copied out, then an image request reloading them
  "01000000e000000000000007"   # the same with a scans request, Huffman tables only
)

n=0
files=0
add_seed() {  # $1: stream file
  local stream=$1 base k
  base=$(printf '%s' "$(basename "$stream")" | tr -c 'A-Za-z0-9._-' '_')
  for k in 0 1 2; do
    local i=$(( (files * 3 + k) % ${#headers[@]} ))
    { printf '%s' "${headers[$i]}" | xxd -r -p; head -c 16384 "$stream"; } > "$out/${n}-${base}.${i}"
    n=$((n + 1))
  done
  files=$((files + 1))
}

if [ -d "$corpus" ]; then
  while IFS= read -r -d '' f; do add_seed "$f"; done \
    < <(find "$corpus" -type f \( -iname '*.jpg' -o -iname '*.jpeg' \) -print0 | sort -z)
fi
# Small streams made here for what the corpus lacks: embedded thumbnails (JFIF
# RGB, extension RGB and palette) in front of an 8 x 8 grey picture, each seeded
# with a thumbnail request too. Also a bare SOI/EOI, so the folder is never empty.
rep() { local i; for ((i = 0; i < $2; i++)); do printf '%s' "$1"; done; }
grey="ffdb004300$(rep 01 64)ffc0000b080008000801011100"
grey+="ffc400140001$(rep 00 15)00ffc400141001$(rep 00 15)00ffda0008010100003f0000ffd9"
streams=(
  "ffd8ffe0001c4a46494600010100000100010202$(rep 102030405060 2)${grey}"
  "ffd8ffe0001c4a46585800130302$(rep 112233 6)${grey}"
  "ffd8ffe0030e4a46585800110202$(rep 0a141e 256)00017f80${grey}"
  "ffd8ffd9"
)
k=0
for hex in "${streams[@]}"; do
  printf '%s' "$hex" | xxd -r -p > "$out/made-$k.raw"
  add_seed "$out/made-$k.raw"
  printf '%s' "020403010000000000001007$hex" | xxd -r -p > "$out/made-$k.thumb"
  rm -f "$out/made-$k.raw"
  k=$((k + 1)); n=$((n + 1))
done
echo "fuzz-seeds: $n seeds in $out"
