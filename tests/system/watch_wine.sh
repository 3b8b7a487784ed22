#!/usr/bin/env bash
# --watch of the 64-bit program under Wine against fresh runs (watch_differential.py), with
# every kind of change but folders moved inside the tree: Wine's watch of a subtree keeps a
# moved folder under its old path and reports what changes inside it there, which Windows
# does not.
# usage: watch_wine.sh PROGRAM WORKDIR
set -u
program=$(realpath "$1") work=$2
. "$(dirname "$0")/lib.sh"
rm -rf "$work" && mkdir -p "$work"
wine_start "$work"
python3 "$(dirname "$0")/watch_differential.py" "$work/diff" 1 "--without=move folder" \
  /usr/lib/wine/wine64 "$program" >"$work/out" 2>&1
check "the watch under Wine keeps every folder right, and -r takes it back" [ $? -eq 0 ]
cat "$work/out"
finish
