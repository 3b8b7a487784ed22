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

# A tree with fixed times; folders start at 2001 and files carry what the cases need.
build_tree() {
  local t=$1
  rm -rf "$t"
  make_file "$t/A/B/f.txt" "2020-05-06 07:08:09.123456789"
  make_file "$t/A/g.txt" "2021-01-01 00:00:00.5"
  make_file "$t/C/D/h.txt" "2022-02-02 02:02:02.0000001"
  make_file "$t/C/i.txt" "2019-01-01 00:00:00"
  mkdir -p "$t/Empty" "$t/Outer/Inner"
  make_file "$t/..x/k.txt" "2018-03-03 00:00:00"
  make_file "$t/.cfg/l.txt" "1965-04-04 00:00:00"
  make_file "$t/Future/m.txt" "2100-01-01 00:00:00"
  make_file "$t/top.txt" "2023-01-01 00:00:00"
  find "$t" -type d -exec touch -m -d "2001-01-01 00:00:00 UTC" {} +
  # Access times after the change times and recent, so that reading a folder does not
  # move them (relatime) and any change is the program's.
  find "$t" -type d -exec touch -a -d "tomorrow" {} +
}

snapshot() { # every entry's access time, and every file's modification time
  (cd "$1" && find . -printf '%p %A@\n' -o -true && find . -type f -printf '%p %T@\n') | sort
}

check_tree() { # check_tree LABEL ROOT
  local t=$2
  check "$1: B gets f, to 100 ns" has_mtime "$t/A/B" "$(epoch "2020-05-06 07:08:09.1234567")"
  check "$1: A gets the newer g" has_mtime "$t/A" "$(epoch "2021-01-01 00:00:00.5")"
  check "$1: C gets h from below" has_mtime "$t/C" "$(epoch "2022-02-02 02:02:02.0000001")"
  check "$1: D gets h" has_mtime "$t/C/D" "$(epoch "2022-02-02 02:02:02.0000001")"
  check "$1: ..x is walked" has_mtime "$t/..x" "$(epoch "2018-03-03")"
  check "$1: .cfg before 1970" has_mtime "$t/.cfg" "$(epoch "1965-04-04")"
  check "$1: Future after 2038" has_mtime "$t/Future" "$(epoch "2100-01-01")"
  for kept in Empty Outer Outer/Inner; do
    check "$1: $kept keeps its time" has_mtime "$t/$kept" "$(epoch "2001-01-01")"
  done
  check "$1: the top folder is never written" has_mtime "$t" "$(epoch "2001-01-01")"
}

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
