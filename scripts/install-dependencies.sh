#!/usr/bin/env bash
# Installs what the project needs from Debian's packages, when any is missing.
# usage: install-dependencies.sh [demo|release]: with "demo", only what building the Linux
# command takes (a compiler, make and CMake); with "release", what building the three
# programs and their packages takes; otherwise everything building and testing take.
set -eu
optional=()
case "${1:-}" in
  demo) packages=(cmake g++ make) ;;
  release) packages=(cmake g++ make g++-mingw-w64-i686 g++-mingw-w64-x86-64 zip) ;;
  *)
    packages=(cmake g++ make googletest clang libclang-rt-14-dev g++-mingw-w64-i686
              g++-mingw-w64-x86-64 wine64 xvfb x11-utils imagemagick clang-format zip unzip
              qemu-user-static man-db binutils bsdutils util-linux strace procps fuse3
              python3-pyfuse3 bash-completion zsh fish tmux lintian python3-jsonschema
              python3-yaml systemd)
    # Wine's 32-bit loader, which this kernel runs only through qemu-user-static. The
    # mirror's i386 security index is sometimes caught mid-sync: then both architectures
    # are taken from the main suite in one call.
    optional=(wine32:i386)
    ;;
esac
missing() {
  local package
  for package in "$@"; do
    dpkg -s "$package" >/dev/null 2>&1 || echo "$package"
  done
}
mapfile -t needed < <(missing "${packages[@]}")
mapfile -t wanted < <(missing ${optional[@]+"${optional[@]}"})
[ ${#needed[@]} -gt 0 ] || [ ${#wanted[@]} -gt 0 ] || exit 0
echo "installing: ${needed[*]} ${wanted[*]}"
sudo_cmd=; [ "$(id -u)" -eq 0 ] || sudo_cmd=sudo
if [ ${#wanted[@]} -gt 0 ]; then
  dpkg --print-foreign-architectures | grep -qx i386 || $sudo_cmd dpkg --add-architecture i386
fi
# A mirror caught mid-sync fails one index now and then: try again, then go on with what
# was fetched.
for try in 1 2 3; do
  $sudo_cmd apt-get update -q && break
  sleep 5
done
install() {
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -q --no-install-recommends "$@"
}
[ ${#needed[@]} -eq 0 ] || install "${needed[@]}"
if [ ${#wanted[@]} -gt 0 ] && ! install "${wanted[@]}"; then
  # The 64-bit half may already come from the security suite, which the 32-bit half cannot
  # match: both halves of the library they share are then taken from the main suite.
  suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
  shared=libgstreamer-plugins-base1.0-0
  install -t "$suite" --allow-downgrades wine64 wine32:i386 "$shared:i386/$suite" \
    "$shared:amd64/$suite" ||
    echo "could not install ${wanted[*]}: the 32-bit suite cannot run (it fails under CI)"
fi
