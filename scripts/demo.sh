#!/usr/bin/env bash
# Makes a small sample tree, shows its folder times, runs the Linux command on it and
# shows the times again.
set -eu
cd "$(dirname "$0")/.."
bash scripts/install-dependencies.sh
cmake --preset host >/dev/null
cmake --build --preset host -j"$(nproc)" --target chronotree >/dev/null
sample=$(mktemp -d /tmp/chronotree-sample-XXXXXX)
mkdir -p "$sample/Photos/2019/Summer" "$sample/Photos/2020" "$sample/Documents/Empty"
touch -d "2019-07-14 10:00" "$sample/Photos/2019/Summer/beach.jpg"
touch -d "2019-12-24 18:30" "$sample/Photos/2019/tree.jpg"
touch -d "2020-03-01 09:15" "$sample/Photos/2020/snow.jpg"
touch -d "2018-05-05 12:00" "$sample/Documents/letter.txt"
show() { (cd "$sample" && find . -mindepth 1 -type d -printf '  %-24p %TY-%Tm-%Td %TH:%TM\n' | sort); }
echo "Sample tree: $sample"
echo "Folder times before:"
show
echo "Running: build/host/chronotree -a $sample"
build/host/chronotree -a "$sample"
echo "Folder times after:"
show
