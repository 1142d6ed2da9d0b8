#!/usr/bin/env bash
# Windows suites: cross-builds the 32-bit product (build-win32) and the same
# sources for 64-bit Wine (build-win64), checks the 32-bit exports, then runs the
# integration host and the demo host under Wine, headless, each call time-boxed.
# The 32-bit DLL also runs the integration suite when 32-bit Wine is present or
# can be installed (i386 multiarch, wine32); set VANTOREL_WINE32=0 to not try.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)
corpus=$(cd "$root/.." && pwd)/shared/corpus

for tool in i686-w64-mingw32-g++ x86_64-w64-mingw32-g++; do
  if ! command -v "$tool" >/dev/null; then
    echo "windows: $tool is missing; install g++-mingw-w64-i686 and g++-mingw-w64-x86-64 (scripts/install-deps.sh)"
    exit 1
  fi
done

build() {  # folder toolchain
  cmake --no-warn-unused-cli -S . -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="cmake/$2" >/dev/null
  cmake --build "$1" -j "$jobs"
}

echo "== windows: 32-bit build (the product)"
build build-win32 mingw-i686.cmake
echo "== windows: 32-bit exports"
bash tests/windows/check_exports.sh build-win32/vantorel.dll

echo "== windows: 64-bit build (for 64-bit Wine)"
build build-win64 mingw-x86_64.cmake

if ! command -v wine >/dev/null; then
  echo "windows: Wine is not installed; the integration suites did not run"
  exit 1
fi

# Headless Wine in a private prefix per build folder: no display, no debug output.
unset DISPLAY WAYLAND_DISPLAY
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine_in() {  # prefix seconds command...
  local prefix=$1 seconds=$2
  shift 2
  WINEPREFIX="$prefix" timeout "$seconds" wine "$@"
}
prepare_prefix() {  # prefix
  if [ ! -f "$1/system.reg" ]; then
    WINEPREFIX="$1" timeout 300 wineboot --init >/dev/null 2>&1 || true
  fi
  WINEPREFIX="$1" timeout 120 wineserver -w 2>/dev/null || true
}

# The metafile references, as BMP files the host can load, at the rectangle's size.
scratch_for() {  # build folder
  mkdir -p "$1/scratch"
  if [ -d "$corpus/pillow" ]; then
    convert "$corpus/pillow/drawing_wmf_ref.png" -resize '160x160!' "BMP3:$1/scratch/drawing_wmf_ref.bmp"
    convert "$corpus/pillow/drawing_emf_ref.png" -resize '160x160!' "BMP3:$1/scratch/drawing_emf_ref.bmp"
  fi
}

integration() {  # build folder, label
  local folder=$1 label=$2 prefix="$root/$1/wineprefix"
  prepare_prefix "$prefix"
  scratch_for "$folder"
  echo "== windows: integration suite, $label"
  (cd "$folder" && wine_in "$prefix" 600 ./vantorel_host.exe "Z:$corpus" "Z:$root/$folder/scratch")
  echo "== windows: demo host, $label"
  rm -f "$folder/vtrender-demo.bmp"
  (cd "$folder" && wine_in "$prefix" 120 ./vtrender.exe vtrender-demo.bmp \
    "Z:$corpus/libjpeg-turbo/testorig.jpg" "Z:$corpus/pillow/bmp/g/rgb24.bmp" \
    "Z:$corpus/pillow/drawing.wmf" "Z:$corpus/pillow/drawing.emf")
  [ -s "$folder/vtrender-demo.bmp" ] && echo "wrote $folder/vtrender-demo.bmp"
}

if [ ! -d "$corpus" ]; then
  echo "windows: the corpus ($corpus) is absent; the integration suites need it and did not run"
  exit 0
fi

integration build-win64 "64-bit DLL under 64-bit Wine"

# The whole suite again with each processor variant index forced through the
# registry value the library reads, the way a user would force one.
variants() {  # build folder, label
  local folder=$1 label=$2 prefix="$root/$1/wineprefix"
  local key='HKLM\Software\Morvane Corporation\Tessaline\Quorra'
  for cpu in 0 1 2 3 4 5 6; do
    echo "== windows: integration suite, $label, USECPU $cpu"
    wine_in "$prefix" 120 reg add "$key" /v USECPU /t REG_DWORD /d "$cpu" /f >/dev/null
    (cd "$folder" && wine_in "$prefix" 600 ./vantorel_host.exe "Z:$corpus" "Z:$root/$folder/scratch") | tail -n 1
  done
  wine_in "$prefix" 120 reg delete "$key" /v USECPU /f >/dev/null 2>&1 || true
}
variants build-win64 "64-bit DLL under 64-bit Wine"

# 32-bit Wine: use it when it runs a 32-bit program; otherwise try to install it.
wine32_works() {
  prepare_prefix "$root/build-win32/wineprefix"
  local rc=0
  (cd build-win32 && wine_in "$root/build-win32/wineprefix" 120 ./vantorel_host.exe >/dev/null 2>&1) || rc=$?
  [ "$rc" = 2 ]  # the host's usage message: it ran
}
try_install_wine32() {
  [ "${VANTOREL_WINE32:-1}" != 0 ] || return 1
  local sudo_cmd=""
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null && sudo -n true 2>/dev/null || return 1
    sudo_cmd="sudo -n"
  fi
  local added=0
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo_cmd dpkg --add-architecture i386
    added=1
  fi
  if $sudo_cmd apt-get update -qq >/dev/null 2>&1 &&
     DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq wine32:i386 >/dev/null 2>&1; then
    return 0
  fi
  # Leave the machine as it was: no half-enabled architecture behind.
  if [ "$added" = 1 ]; then
    $sudo_cmd dpkg --remove-architecture i386 2>/dev/null || true
    $sudo_cmd apt-get update -qq >/dev/null 2>&1 || true
  fi
  return 1
}

if wine32_works || { try_install_wine32 && rm -rf build-win32/wineprefix && wine32_works; }; then
  integration build-win32 "32-bit DLL under 32-bit Wine"
  variants build-win32 "32-bit DLL under 32-bit Wine"
else
  echo "windows: 32-bit Wine (i386 multiarch, wine32) is not installed and could not be installed here;"
  echo "windows: the integration suite ran against the 64-bit DLL only (the 32-bit exports were checked above)"
fi
