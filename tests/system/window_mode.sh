#!/usr/bin/env bash
# Window mode of the 64-bit program under Wine: the in-process window tests, the UI driver
# from another process (folder times checked here, from Linux), and a screenshot.
# usage: window_mode.sh WIN64_BUILD WORKDIR SCREENSHOT.png
set -u
build=$1 work=$2 screenshot=$3
. "$(dirname "$0")/lib.sh"
rm -rf "$work" && mkdir -p "$work"
wine_start "$work"

wine_suite "in-process window tests" "$work/window_tests.out" "$build/tests/window_tests.exe"

tree="$work/My Tree"
build_tree "$tree"
wine_suite "UI driver" "$work/ui_driver.out" "$build/tests/ui_driver.exe" \
  "$(winpath "$build/chronotree.exe")" "$(winpath "$tree")" "Folder dates changed: 7 out of 10"
check_tree "walked from the window" "$tree"

# With -n the set button does a dry run: it reports what would change, and changes nothing.
build_tree "$tree"
before=$(cd "$tree" && find . -printf '%p %T@ %A@\n' | sort)
CHRONOTREE_UI_OPTIONS=-n wine_suite "dry run from the window" "$work/dry_run.out" \
  "$build/tests/ui_driver.exe" --gtest_filter='MainWindow.SetDates*' \
  "$(winpath "$build/chronotree.exe")" "$(winpath "$tree")" "Folder dates that would change: 7 out of 10"
check "the dry run ran its case" grep -q '\[  PASSED  \] 1 test' "$work/dry_run.out"
check "the dry run changed nothing" \
  [ "$(cd "$tree" && find . -printf '%p %T@ %A@\n' | sort)" = "$before" ]

# The window as a person sees it, kept under the build folder for a look.
build_tree "$tree"
/usr/lib/wine/wine64 "$build/chronotree.exe" "$(winpath "$tree")" >"$work/shown.out" 2>&1 &
for _ in $(seq 100); do
  xwininfo -root -tree >"$work/windows.txt" 2>&1
  grep -q '"Chronotree 0.01' "$work/windows.txt" && break
  sleep 0.1
done
sleep 1
mkdir -p "$(dirname "$screenshot")"
import -window root "$screenshot"
check "screenshot of the window saved" [ -s "$screenshot" ]
wineserver -k >/dev/null 2>&1

finish
