#!/usr/bin/env bash
# The requests a folder costs on a share: the bench's delaying file system (bench/slow_fs.py,
# FUSE, no delay here) counts every request the Linux command and the 64-bit Windows program
# under Wine make, at one thread and at eight, on a tree of 120 folders; every run must
# leave the folder times a walk of the tree itself leaves.
# usage: share_requests.sh LINUX_PROGRAM WIN64_PROGRAM WORKDIR
set -u
. "$(dirname "$0")/lib.sh"
ours=$1 windows=$2 work=$3
fs=$(cd "$(dirname "$0")/../../bench" && pwd)/slow_fs.py
if [ ! -e /dev/fuse ] || ! /usr/bin/python3 -c 'import pyfuse3' 2>/dev/null; then
  echo "no FUSE here (/dev/fuse and python3-pyfuse3): skipped"
  exit 77
fi
rm -rf "$work" && mkdir -p "$work/back" "$work/mnt" "$work/wine"
folders=0
for a in $(seq 12); do
  for b in $(seq 9); do
    make_file "$work/back/t/a$a/b$b/f" "2010-01-0$((b % 9 + 1)) 10:00:0$a"
    make_file "$work/back/t/a$a/b$b/g" "2009-05-05 00:00:00"
    folders=$((folders + 1))
  done
  make_file "$work/back/t/a$a/top_file" "2008-01-01 00:00:00"
  folders=$((folders + 1))
done
reset() { find "$work/back/t" -mindepth 1 -type d -exec touch -d '2001-01-01 00:00:00 UTC' {} +; }
times_now() { (cd "$work/back/t" && find . -type d -printf '%p %T@\n' | sort); }
reset
cp -a "$work/back/t" "$work/plain"
"$ours" -a -s -j 1 "$work/plain" >/dev/null
(cd "$work/plain" && find . -type d -printf '%p %T@\n' | sort) >"$work/expected"

# run LABEL MOST_PER_FOLDER COMMAND...: the command on the mounted tree, its requests counted
run() {
  local label=$1 most=$2 per
  shift 2
  reset
  rm -f "$work/counts.json"
  /usr/bin/python3 "$fs" "$work/back" "$work/mnt" 0 "$work/counts.json" >"$work/fs.log" 2>&1 &
  for _ in $(seq 100); do mountpoint -q "$work/mnt" && break; sleep 0.1; done
  "$@" >"$work/out" 2>&1
  fusermount3 -u "$work/mnt"
  for _ in $(seq 100); do [ -s "$work/counts.json" ] && break; sleep 0.1; done
  per=$(/usr/bin/python3 -c 'import json,sys
c=json.load(open(sys.argv[1])); print("%.2f" % (sum(c.values()) / int(sys.argv[2])))' \
    "$work/counts.json" "$((folders + 1))")
  echo "$label: $per requests a folder ($(tr -d '{}"' <"$work/counts.json"))"
  times_now >"$work/got"
  check "$label: the same folder times as a walk of the tree itself" cmp -s "$work/expected" "$work/got"
  check "$label: at most $most requests a folder, not $per" \
    awk -v got="$per" -v most="$most" 'BEGIN { exit !(got <= most) }'
}
# Linux: open, list, the end of the list, the write and the close.
run "Linux, one thread" 5.05 "$ours" -a -s -j 1 "$work/mnt/t"
run "Linux, eight threads" 5.05 "$ours" -a -s -j 8 "$work/mnt/t"
# Wine: the open and its volume query, its own second open, the two reads and a look at
# the folder (all Wine's), the write and the two closes.
wine_start "$work/wine"
run "Wine, one thread" 9.1 wine_run "$work/wine.out" "$windows" -a -s -j 1 "$(winpath "$work/mnt/t")"
run "Wine, eight threads" 9.1 wine_run "$work/wine.out" "$windows" -a -s -j 8 \
  "$(winpath "$work/mnt/t")"
finish
