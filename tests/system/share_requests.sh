#!/usr/bin/env bash
# The requests a folder costs on a share: the bench's delaying file system counts every
# request the Linux command and the 64-bit Windows program under Wine make, at one thread
# and at eight; every run must leave the folder times a walk of the tree itself leaves.
# usage: share_requests.sh LINUX_PROGRAM WIN64_PROGRAM WORKDIR
set -u
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/share_lib.sh"
ours=$1 windows=$2 work=$3
if ! can_share; then
  echo "no FUSE here (/dev/fuse and python3-pyfuse3): skipped"
  exit 77
fi
share_tree "$work"
"$ours" -a -s -j 1 "$work/plain" >/dev/null
share_times "$work/plain" >"$work/expected"

# Linux: open, list, the end of the list, the write and the close.
share_run "Linux, one thread" 5.05 "$work/expected" "$ours" -a -s -j 1 "$work/mnt/t"
share_run "Linux, eight threads" 5.05 "$work/expected" "$ours" -a -s -j 8 "$work/mnt/t"
# Wine: the open and its volume query, its own second open, the two reads and a look at
# the folder (all Wine's), the write and the two closes. Eight threads cost no more: every
# listing read ahead is taken, not read again.
mkdir -p "$work/wine" && wine_start "$work/wine"
share_run "Wine, one thread" 9.1 "$work/expected" \
  wine_run "$work/wine.out" "$windows" -a -s -j 1 "$(winpath "$work/mnt/t")"
share_run "Wine, eight threads" 9.1 "$work/expected" \
  wine_run "$work/wine.out" "$windows" -a -s -j 8 "$(winpath "$work/mnt/t")"
# A share that keeps folder times to the second, its files' times having nanoseconds:
# --changes-only learns the grain from its first write, read back, and a second run over
# the unchanged tree writes nothing and costs no write.
share_reset
find "$work/back/t" -type f -exec touch -d "2012-12-12 12:12:12.345678912" {} +
coarse_run() { # coarse_run OUT ARGS...: the Linux command on the share, its requests counted
  local out=$1
  shift
  rm -f "$work/counts.json"
  /usr/bin/python3 "$share_fs" "$work/back" "$work/mnt" 0 "$work/counts.json" 1000000000 \
    >"$work/fs.log" 2>&1 &
  for _ in $(seq 100); do mountpoint -q "$work/mnt" && break; sleep 0.1; done
  "$ours" "$@" "$work/mnt/t" >"$out" 2>&1
  fusermount3 -u "$work/mnt"
  for _ in $(seq 100); do [ -s "$work/counts.json" ] && break; sleep 0.1; done
}
coarse_run "$work/first.out" -a --changes-only
check "seconds kept: the first run sets every folder" \
  grep -qx "Folder dates changed: $((share_folders - 1)) out of $((share_folders - 1))" "$work/first.out"
coarse_run "$work/second.out" -a --changes-only
check "seconds kept: a second run writes nothing" \
  grep -qx "Folder dates changed: 0 out of $((share_folders - 1))" "$work/second.out"
check "and asks the share to write nothing" [ -z "$(grep -o '"setattr": [0-9]*' "$work/counts.json")" ]
coarse_run "$work/third.out" -a
check "seconds kept: without --changes-only every folder is written, as before" \
  grep -qx "Folder dates changed: $((share_folders - 1)) out of $((share_folders - 1))" "$work/third.out"
finish
