#!/usr/bin/env bash
# Installs what the project needs from Debian's packages, when any is missing.
# usage: install-dependencies.sh [demo]: with "demo", only what building the Linux command
# takes (a compiler, make and CMake); otherwise everything building and testing take.
set -eu
if [ "${1:-}" = demo ]; then
  packages=(cmake g++ make)
else
  # wine32:i386 is Wine's 32-bit loader, which this kernel runs only through qemu-user-static.
  packages=(cmake g++ make googletest clang libclang-rt-14-dev g++-mingw-w64-i686
            g++-mingw-w64-x86-64 wine64 xvfb x11-utils imagemagick clang-format zip unzip
            qemu-user-static man-db binutils bsdutils wine32:i386)
fi
missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=; [ "$(id -u)" -eq 0 ] || sudo_cmd=sudo
  if [[ " ${missing[*]} " == *:i386* ]]; then
    dpkg --print-foreign-architectures | grep -qx i386 || $sudo_cmd dpkg --add-architecture i386
  fi
  $sudo_cmd apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -q --no-install-recommends \
    "${missing[@]}"
fi
