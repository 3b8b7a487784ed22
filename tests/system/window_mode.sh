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

# Names in every script: the folder argument shows in the field exactly as given, and the
# set button walks it.
build_script_tree "$work"
wine_suite "names in many scripts, from the window" "$work/scripts.out" \
  "$build/tests/ui_driver.exe" --gtest_filter='MainWindow.LooksAsDescribed:MainWindow.SetDates*' \
  "$(winpath "$build/chronotree.exe")" "$(winpath "$work/$SCRIPT_TOP")" \
  "Folder dates changed: 7 out of 7"
check "both cases ran" grep -q '\[  PASSED  \] 2 tests' "$work/scripts.out"
check_script_tree "walked from the window" "$work"

# The picker, with the Desktop (where Wine's picker starts) in such a folder: its path
# comes back whole; and so does a Desktop whose path takes more than MAX_PATH bytes in
# UTF-8 (though fewer characters), which an ANSI picker could not give whole.
desktops='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders'
set_desktop() {
  mkdir -p "$1"
  /usr/lib/wine/wine64 reg add "$desktops" /v Desktop /t REG_EXPAND_SZ /d "$(winpath "$1")" /f \
    >"$work/desktop.log" 2>&1
}
set_desktop "$work/Desk 日本語 😀"
wine_suite "the picker gives a path in many scripts whole" "$work/picker.out" \
  "$build/tests/ui_driver.exe" --gtest_filter='MainWindow.ThePicker*' \
  "$(winpath "$build/chronotree.exe")" "$(winpath "$work/$SCRIPT_TOP")" "-"
set_desktop "$work/$(printf '日%.0s' $(seq 45))/$(printf '本%.0s' $(seq 45))"
wine_suite "a path past MAX_PATH bytes in UTF-8 is given whole" \
  "$work/picker_long.out" "$build/tests/ui_driver.exe" --gtest_filter='MainWindow.ThePicker*' \
  "$(winpath "$build/chronotree.exe")" "$(winpath "$work/$SCRIPT_TOP")" "-"
for out in picker picker_long; do
  check "the picker case ran ($out)" grep -q '\[  PASSED  \] 1 test' "$work/$out.out"
done

# A tree that takes seconds to walk: the window keeps answering and shows how far it is;
# closed mid-walk, the program ends with no folder wrong; left to finish, it comes back as
# it was.
big=$work/big
python3 "$(dirname "$0")/../../bench/make_tree.py" "$big" wide 20000 30000
find "$big" -mindepth 1 -type d -exec touch -m -d "2001-01-01 00:00:00 UTC" {} +
untouched=$(stat -c %Y "$big/d0")000000000
export CHRONOTREE_UI_LONG_WALK=1
wine_suite "closing the window mid-walk" "$work/long_close.out" "$build/tests/ui_driver.exe" \
  --gtest_filter='LongWalk.Closing*' "$(winpath "$build/chronotree.exe")" "$(winpath "$big")" -
check "the close case ran" grep -q '\[  PASSED  \] 1 test' "$work/long_close.out"
check "closed mid-walk: every folder set right or untouched" \
  python3 "$(dirname "$0")/folder_times.py" "$big" set-or-untouched "$untouched"
wine_suite "a long walk from the window" "$work/long_walk.out" "$build/tests/ui_driver.exe" \
  --gtest_filter='LongWalk.TheWindow*' "$(winpath "$build/chronotree.exe")" "$(winpath "$big")" \
  "Folder dates changed: 20000 out of 20000"
check "the long walk case ran" grep -q '\[  PASSED  \] 1 test' "$work/long_walk.out"
check "left to finish: every folder set" python3 "$(dirname "$0")/folder_times.py" "$big" all 0
unset CHRONOTREE_UI_LONG_WALK

# The window as a person sees it, kept under the build folder for a look.
take_screenshot() { # take_screenshot FILE
  build_tree "$tree"
  /usr/lib/wine/wine64 "$build/chronotree.exe" "$(winpath "$tree")" >"$work/shown.out" 2>&1 &
  for _ in $(seq 100); do
    xwininfo -root -tree >"$work/windows.txt" 2>&1
    grep -q '"Chronotree 0.01' "$work/windows.txt" && break
    sleep 0.1
  done
  sleep 1
  mkdir -p "$(dirname "$1")"
  import -window root "$1"
  check "screenshot of the window saved ($1)" [ -s "$1" ]
  "$WINESERVER" -k >/dev/null 2>&1
}
take_screenshot "$screenshot"

# Every scale: a fresh prefix at 120, 144 and 192 DPI, the layout and the font checked in
# the process, and a look at 144 DPI.
for dpi in 120 144 192; do
  wine_stop
  mkdir -p "$work/dpi$dpi"
  wine_start "$work/dpi$dpi"
  for key in 'HKCU\Control Panel\Desktop' \
    'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts'; do
    /usr/lib/wine/wine64 reg add "$key" /v LogPixels /t REG_DWORD /d "$dpi" /f \
      >"$work/dpi$dpi/logpixels.log" 2>&1
  done
  "$WINESERVER" -k >/dev/null 2>&1
  setsid "$WINESERVER" -p >/dev/null 2>&1 </dev/null &
  CHRONOTREE_EXPECT_DPI=$dpi wine_suite "the window at $dpi DPI" "$work/dpi$dpi/window.out" \
    "$build/tests/window_tests.exe" --gtest_filter='Window.TheLayoutScales*:Window.TheClass*'
  check "the $dpi DPI cases ran" grep -q '\[  PASSED  \] 2 tests' "$work/dpi$dpi/window.out"
  [ "$dpi" = 144 ] && take_screenshot "${screenshot%.png}-144dpi.png"
done

finish
