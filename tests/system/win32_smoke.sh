#!/usr/bin/env bash
# The real 32-bit program under Wine's 32-bit loader, which this kernel runs only through
# qemu-user-static: two automatic runs checked from Linux (one on names in many scripts),
# one window session driven by the (64-bit) UI driver, and a run on a share.
# Each 32-bit start costs about a minute, so the cases are few.
# usage: win32_smoke.sh WIN32_BUILD WIN64_BUILD WORKDIR
# Exits 77 (skipped) where the loader or binfmt_misc cannot be had, but under CI=true it
# fails instead: the 32-bit program is the product, and a run that skips it proves nothing.
set -u
win32=$1 win64=$2 work=$3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
rm -rf "$work" && mkdir -p "$work"
cannot_run() {
  if [ "${CI:-}" = true ]; then
    echo "FAIL: $1 (under CI the 32-bit suite must run)"
    exit 1
  fi
  echo "SKIPPED: $1"
  exit 77
}
if ! dpkg -s wine32:i386 >/dev/null 2>&1; then
  cannot_run "Wine's 32-bit loader (wine32:i386) is not installed"
fi

# The entry comes before the prefix: a 64-bit prefix fills its syswow64 folder (the 32-bit
# kernel32.dll and the rest) by running Wine's 32-bit setup, which needs the loader too.
# Without it every 32-bit start fails with "could not load kernel32.dll". That setup runs
# under emulation, about two minutes; Wine's own services stay 64-bit and native.
if ! bash "$here/binfmt_i386.sh" enable; then
  cannot_run "binfmt_misc cannot be mounted or written here, so the 32-bit loader cannot run"
fi
# The entry slows every Wine start down; it goes as soon as this suite ends.
wine_stop_and_disable() {
  wine_stop
  bash "$here/binfmt_i386.sh" disable
}
trap wine_stop_and_disable EXIT
# Stopped by a signal (Ctrl-C, kill), it leaves through the exit trap as well: an entry left
# on slows every later Wine prefix of the machine by minutes.
trap 'exit 130' INT
trap 'exit 143' TERM
wine_start "$work"
trap wine_stop_and_disable EXIT
check "the prefix holds the 32-bit system" [ -e "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]

# The first tree lies below a path past 260 characters.
deep="$work/$(printf 'd%.0s' $(seq 150))/$(printf 'e%.0s' $(seq 150))/tree"
build_tree "$deep"
wine_run "$work/automatic.out" "$win32/chronotree.exe" -a -s "$(winpath "$deep")"
check "the 32-bit automatic run exits 0" [ $? -eq 0 ]
check "its summary line goes to the redirected output, -s or not" \
  grep -q "^Folder dates changed: 7 out of 10"$'\r'"$" "$work/automatic.out"
check "the tree lies past 260 characters" [ "${#deep}" -gt 260 ]
check_tree "32-bit automatic run past 260 characters" "$deep"
tree="$work/tree"

# Names in every script: the UTF-8 code page of its manifest, on the 32-bit program too.
build_script_tree "$work"
wine_run "$work/scripts.out" "$win32/chronotree.exe" -a -s "$(winpath "$work/$SCRIPT_TOP")"
check "the 32-bit run on names in many scripts exits 0" [ $? -eq 0 ]
check_script_tree "32-bit, names in many scripts" "$work"

build_tree "$tree"
export CHRONOTREE_UI_TIMEOUT_MS=240000
wine_suite "the 32-bit window session" "$work/window.out" "$win64/tests/ui_driver.exe" \
  --gtest_filter='MainWindow.SetDates*' "$(winpath "$win32/chronotree.exe")" \
  "$(winpath "$tree")" "Folder dates changed: 7 out of 10"
check "the window session ran its case" grep -q '\[  PASSED  \] 1 test' "$work/window.out"
check_tree "32-bit window session" "$tree"

# On the counting share, the 32-bit program costs the requests the 64-bit one does: one open
# a folder for its listing and its write. One thread only: this machine's 32-bit Wine runs
# under qemu-user, where any two threads of a program running at once crash it (a program
# that only starts two threads that sleep does), so -j is left to the 64-bit suites, which
# run the same code.
. "$here/share_lib.sh"
if can_share; then
  share_tree "$work/share"
  wine_run "$work/share.out" "$win64/chronotree.exe" -a -s -j 1 "$(winpath "$work/share/plain")"
  share_times "$work/share/plain" >"$work/share.expected"
  share_run "32-bit, one thread" 9.1 "$work/share.expected" \
    wine_run "$work/share32.out" "$win32/chronotree.exe" -a -s -j 1 "$(winpath "$work/share/mnt/t")"
else
  echo "no FUSE here (/dev/fuse and python3-pyfuse3): the share case is left out"
fi

finish
