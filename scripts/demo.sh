#!/usr/bin/env bash
# Makes a small sample tree, shows its folder times, runs the Linux command on it (a dry
# run first, then for real, keeping the list of what changed), shows the times again, then
# takes the run back from its list. Every time is shown in UTC, as the lists give them; the
# sample tree is removed at the end. Installs only a compiler and CMake; the tests are not
# built.
set -eu
cd "$(dirname "$0")/.."
bash scripts/install-dependencies.sh demo
cmake --preset demo >/dev/null
cmake --build --preset demo -j"$(nproc)" --target chronotree >/dev/null
export TZ=UTC
sample=$(mktemp -d /tmp/chronotree-sample-XXXXXX)
trap 'rm -rf "$sample"' EXIT
mkdir -p "$sample/Photos/2019/Summer" "$sample/Photos/2020" "$sample/Documents/Empty"
touch -d "2019-07-14 10:00" "$sample/Photos/2019/Summer/beach.jpg"
touch -d "2019-12-24 18:30" "$sample/Photos/2019/tree.jpg"
touch -d "2020-03-01 09:15" "$sample/Photos/2020/snow.jpg"
touch -d "2018-05-05 12:00" "$sample/Documents/letter.txt"
touch -d "2024-01-01 08:00" "$sample/Photos/2019/Thumbs.db" # a file manager's, left out by -i
find "$sample" -mindepth 1 -type d -exec touch -m -d "2025-06-01 12:00:00" {} + # "copied"
show() {
  (cd "$sample" && find . -mindepth 1 -type d -printf '  %-24p %TY-%Tm-%Td %TH:%TM UTC\n' | sort)
}
command=build/demo/chronotree
echo "Sample tree: $sample"
echo "Folder times before, as a copy leaves them:"
show
echo
echo "A dry run first: chronotree -a -i -n -v SAMPLE"
"$command" -a -i -n -v "$sample"
echo
echo "Then for real, keeping the list: chronotree -a -i -v SAMPLE > list"
"$command" -a -i -v "$sample" >"$sample.list"
cat "$sample.list"
echo "Folder times after:"
show
echo
echo "And back again from the list: chronotree -r list"
"$command" -r "$sample.list"
rm -f "$sample.list"
echo "Folder times restored:"
show
