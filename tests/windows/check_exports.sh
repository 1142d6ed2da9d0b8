#!/usr/bin/env bash
# Checks the 32-bit vantorel.dll: the eleven undecorated names at ordinals 1-11,
# and every exported routine returning with "ret N", N its argument bytes.
#   check_exports.sh path/to/vantorel.dll
set -euo pipefail
dll=$1
objdump=i686-w64-mingw32-objdump
names=(VtRender VtRenderWMF VtRenderJPG VtLoadJPG VtFreeJPG VtPaintJPG VtRenderBMP VtLoadBMP VtFreeBMP VtPaintBMP VtTextParagraph)
bytes=(12 12 12 4 4 8 12 4 4 8 84)

headers=$($objdump -p "$dll")
disassembly=$($objdump -d "$dll")
base=$(awk '/^ImageBase/ {print $2; exit}' <<<"$headers")
ordinal_base=$(awk '/^Export Address Table -- Ordinal Base/ {print $NF; exit}' <<<"$headers")
passed=0
failed=0
report() {  # status message
  if [ "$1" = ok ]; then passed=$((passed + 1)); echo "PASS $2"; else failed=$((failed + 1)); echo "FAIL $2"; fi
}

count=$(awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && /^\s*$/ {exit} on {n++} END {print n+0}' <<<"$headers")
[ "$count" = 11 ] && report ok "exactly eleven exported names" || report fail "exactly eleven exported names (found $count)"

for i in "${!names[@]}"; do
  name=${names[$i]}
  ordinal=$((i + 1))
  # "[   0] VtRender": the index plus the ordinal base is the ordinal.
  index=$(awk -v n="$name" '/\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && /^\s*$/ {exit}
          on { gsub(/[\[\]]/, " "); if ($2 == n) print $1 }' <<<"$headers")
  if [ -z "$index" ] || [ $((index + ordinal_base)) != "$ordinal" ]; then
    report fail "$name is exported undecorated at ordinal $ordinal"
    continue
  fi
  report ok "$name is exported undecorated at ordinal $ordinal"

  rva=$(awk -v k="$ordinal" '/^Export Address Table -- Ordinal Base/ {on=1; next} on && /^\s*$/ {exit}
        on && $0 ~ "\\+base\\[ *" k "\\]" { for (f = 1; f <= NF; f++) if ($f == "Export") print $(f-1) }' <<<"$headers")
  address=$(printf '%x' $((0x$base + 0x$rva)))
  # The routine runs from its label to the next label; every return in it must
  # remove the argument bytes.
  rets=$(awk -v a="$address" '$0 ~ "^0*" a " <" {on=1; next} on && /^[0-9a-f]+ <.*>:$/ {exit}
         on && /\tret/ {print $NF}' <<<"$disassembly" | sort -u | tr '\n' ' ')
  expected=$(printf '$0x%x' "${bytes[$i]}")
  if [ "$rets" = "$expected " ]; then
    report ok "$name returns with ret ${bytes[$i]}"
  else
    report fail "$name returns with ret ${bytes[$i]} (found: ${rets:-no return})"
  fi
done
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
