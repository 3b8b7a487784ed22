#!/usr/bin/env bash
# Makes the release packages in dist/: the 32-bit and 64-bit Windows programs as zip files
# and the Linux command (linked statically, with its manual page) as a tar.gz, each with
# release/USING.txt and LICENSE; the Linux command as a Debian package too; SHA256SUMS for
# them (sha256sum -c reads it); and the winget and Scoop manifests of the zips, in
# dist/winget/ and dist/scoop/.
# The same commit gives the same bytes, build after build and clone after clone: the
# programs carry no time stamp, and every entry of the archives is dated from the last
# commit (SOURCE_DATE_EPOCH, when set, instead), owned by no one, in a fixed order.
# usage: release.sh [--url-base=URL]
#   URL: the address of the folder the release's files will be downloaded from, which the
#   manifests name; until there is one, a placeholder under example.org.
set -eu
cd "$(dirname "$0")/.."
version=0.01
url_base=https://example.org/chronotree/releases/download/v$version
for argument in "$@"; do
  case $argument in
    --url-base=*) url_base=${argument#--url-base=} ;;
    *) echo "usage: release.sh [--url-base=URL]" >&2 && exit 2 ;;
  esac
done
bash scripts/install-dependencies.sh release
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || echo 1767225600)
fi
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C
rm -rf dist && mkdir -p dist/stage
package() { # package NAME PROGRAM
  mkdir -p "dist/stage/$1"
  cp "$2" LICENSE "dist/stage/$1/"
  cp release/USING.txt "dist/stage/$1/"
}
for preset in win32 win64 host; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$(nproc)" --target chronotree >/dev/null
done
cmake --build --preset host --target completions >/dev/null
package "chronotree-$version-win32" build/win32/chronotree.exe
package "chronotree-$version-win64" build/win64/chronotree.exe
for windows in win32 win64; do # the scripts that add the program to Explorer's menu
  cp release/explorer-add.cmd release/explorer-remove.cmd "dist/stage/chronotree-$version-$windows/"
done
package "chronotree-$version-linux-x86_64" build/host/chronotree
cp release/chronotree.1 "dist/stage/chronotree-$version-linux-x86_64/"
strip "dist/stage/chronotree-$version-linux-x86_64/chronotree"
# Notepad before Windows 10 shows a text with bare line feeds as one line, and cmd finds a
# script's labels only in lines that end in CR LF.
for windows in win32 win64; do
  for text in USING.txt LICENSE explorer-add.cmd explorer-remove.cmd; do
    sed -i 's/\r*$/\r/' "dist/stage/chronotree-$version-$windows/$text"
  done
done
find dist/stage -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
(cd dist/stage && for windows in win32 win64; do
  find "chronotree-$version-$windows" | sort | zip -qX "../chronotree-$version-$windows.zip" -@
done && tar --sort=name --mtime="@$SOURCE_DATE_EPOCH" --owner=0 --group=0 --numeric-owner \
  --format=gnu -cf - "chronotree-$version-linux-x86_64" | gzip -9n \
  >"../chronotree-$version-linux-x86_64.tar.gz")
rm -rf dist/stage
# The Debian revision 1 of the program's own version 0.01.
bash scripts/debian_package.sh "$version-1" "${url_base%/releases/*}" \
  "dist/chronotree_$version-1_amd64.deb"
(cd dist && sha256sum chronotree-* chronotree_* >SHA256SUMS)
python3 scripts/store_manifests.py dist "$version" "$url_base"
ls -l dist
