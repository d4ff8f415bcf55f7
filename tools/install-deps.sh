#!/bin/bash
# Installs the Debian packages the build and the tests need, when missing.
set -euo pipefail
pkgs=(cmake g++ make googletest libgtest-dev libgmock-dev libbenchmark-dev g++-mingw-w64-x86-64-posix
      gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools
      wine wine64 xvfb xauth x11-apps imagemagick python3
      nlohmann-json3-dev clang clang-tidy clang-format libclang-rt-14-dev git zip unzip man-db
      gcc-avr avr-libc binutils-avr simavr libsimavr-dev libelf-dev pkg-config
      gcc-arm-none-eabi binutils-arm-none-eabi libnewlib-arm-none-eabi srecord
      libunicorn-dev qemu-system-arm postgresql libpq-dev hyperfine)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd=sudo
  $sudo_cmd apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -q "${missing[@]}"
fi
