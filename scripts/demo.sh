#!/usr/bin/env bash
# Makes a small sample tree, shows its folder times, runs the Linux command on it (a dry
# run first, then for real, listing what changed) and shows the times again. Installs only
# a compiler and CMake; the tests are not built.
set -eu
cd "$(dirname "$0")/.."
bash scripts/install-dependencies.sh demo
cmake --preset demo >/dev/null
cmake --build --preset demo -j"$(nproc)" --target chronotree >/dev/null
sample=$(mktemp -d /tmp/chronotree-sample-XXXXXX)
mkdir -p "$sample/Photos/2019/Summer" "$sample/Photos/2020" "$sample/Documents/Empty"
touch -d "2019-07-14 10:00" "$sample/Photos/2019/Summer/beach.jpg"
touch -d "2019-12-24 18:30" "$sample/Photos/2019/tree.jpg"
touch -d "2020-03-01 09:15" "$sample/Photos/2020/snow.jpg"
touch -d "2018-05-05 12:00" "$sample/Documents/letter.txt"
touch -d "2024-01-01 08:00" "$sample/Photos/2019/Thumbs.db" # a file manager's, left out by -i
show() { (cd "$sample" && find . -mindepth 1 -type d -printf '  %-24p %TY-%Tm-%Td %TH:%TM\n' | sort); }
echo "Sample tree: $sample"
echo "Folder times before:"
show
echo "A dry run first: build/demo/chronotree -a -i -n -v $sample"
build/demo/chronotree -a -i -n -v "$sample"
echo "Then for real: build/demo/chronotree -a -i $sample"
build/demo/chronotree -a -i "$sample"
echo "Folder times after:"
show
