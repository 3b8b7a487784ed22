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
finish
