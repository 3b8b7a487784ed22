#!/usr/bin/env bash
# The program itself in automatic mode on real scratch trees, checked from Linux.
# usage: automatic_run.sh host|wine PROGRAM WORKDIR
set -u
mode=$1 program=$2 work=$3
. "$(dirname "$0")/lib.sh"
rm -rf "$work" && mkdir -p "$work"

if [ "$mode" = wine ]; then
  wine_start "$work"
  arg() { winpath "$1"; }
  run() { wine_run "$work/out" "$program" "$@"; }
else
  arg() { printf '%s' "$1"; }
  run() { "$program" "$@" >"$work/out" 2>"$work/err"; }
fi

tree=$work/tree
build_tree "$tree"
before=$(snapshot "$tree")
run -a -s "$(arg "$tree")"
check "silent automatic run exits 0" [ $? -eq 0 ]
check_tree "plain path" "$tree"
check "nothing else changed: access times, file times" [ "$(snapshot "$tree")" = "$before" ]

spaced="$work/My Files"
build_tree "$spaced"
run -s -a "$(arg "$spaced")"
check_tree "path with a blank" "$spaced"

# Folders named before -a are not walked; after it, each in turn.
build_tree "$work/one" && build_tree "$work/two" && build_tree "$work/three"
run "$(arg "$work/one")" -s -a "$(arg "$work/two")" "$(arg "$work/three")"
check "a folder before -a is not walked" has_mtime "$work/one/A" "$(epoch "2001-01-01")"
check_tree "second folder" "$work/two"
check_tree "third folder" "$work/three"

if [ "$mode" = wine ]; then
  # A drive letter for a scratch folder: "t:" and "t:\" both name its root.
  for top in 't:' 't:\'; do
    drive=$work/drive
    build_tree "$drive"
    rm -f "$WINEPREFIX/dosdevices/t:"
    ln -s "$drive" "$WINEPREFIX/dosdevices/t:"
    run -a -s "$top"
    check_tree "drive $top" "$drive"
  done
else
  build_tree "$tree"
  run -a "$tree"
  check "the summary is one line on standard output" \
    [ "$(cat "$work/out")" = "Folder dates changed: 7 out of 10" ]
  check "and nothing on standard error" [ ! -s "$work/err" ]
  run "$tree"
  check "window mode is not available: status 1" [ $? -eq 1 ]
  check "window mode says so on standard error" grep -q "window mode" "$work/err"
  run -s "$tree"
  check "silently under -s" [ ! -s "$work/err" ] && [ ! -s "$work/out" ]
  # Links back up the path end the descent; the top is not written through them.
  build_tree "$tree"
  ln -s .. "$tree/A/B/up"
  ln -s "$tree" "$tree/C/top"
  ln -s ../../A "$tree/C/D/sideways"
  run -a "$tree"
  check "links: counted, not entered" [ "$(cat "$work/out")" = "Folder dates changed: 9 out of 15" ]
  check_tree "with links" "$tree"
fi

finish
