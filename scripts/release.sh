#!/usr/bin/env bash
# Makes the three release packages in dist/: the 32-bit and 64-bit Windows programs as zip
# files and the Linux command (linked statically, with its manual page) as a tar.gz, each
# with release/USING.txt.
set -eu
cd "$(dirname "$0")/.."
bash scripts/install-dependencies.sh
version=0.01
rm -rf dist && mkdir -p dist/stage
package() { # package NAME PROGRAM
  mkdir -p "dist/stage/$1"
  cp "$2" release/USING.txt "dist/stage/$1/"
}
for preset in win32 win64 host; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$(nproc)" --target chronotree >/dev/null
done
package "chronotree-$version-win32" build/win32/chronotree.exe
package "chronotree-$version-win64" build/win64/chronotree.exe
package "chronotree-$version-linux-x86_64" build/host/chronotree
cp release/chronotree.1 "dist/stage/chronotree-$version-linux-x86_64/"
strip "dist/stage/chronotree-$version-linux-x86_64/chronotree"
(cd dist/stage && for windows in win32 win64; do
  zip -qr "../chronotree-$version-$windows.zip" "chronotree-$version-$windows"
done && tar czf "../chronotree-$version-linux-x86_64.tar.gz" "chronotree-$version-linux-x86_64")
rm -rf dist/stage
ls -l dist
