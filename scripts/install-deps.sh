#!/usr/bin/env bash
# Installs, with apt-get, whatever the build and the tests need and is missing.
set -euo pipefail
packages=(cmake ninja-build g++ clang libclang-rt-14-dev xxd libgtest-dev libbenchmark-dev libjpeg62-turbo-dev libpng-dev
          libjpeg-turbo-progs imagemagick valgrind)
if [ "${VANTOREL_WINDOWS:-1}" != 0 ]; then
  packages+=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}" >/dev/null
fi
