#!/usr/bin/env bash
# The 64-bit program under Wine on what Windows' own path rules get wrong: paths far past
# 260 characters, names ending in a dot or a blank, long names, the top folder spelled in
# every way, and a copy whose manifest lacks the UTF-8 code page, as older Windows reads it.
# usage: windows_paths.sh WIN64_BUILD WORKDIR
set -u
build=$(cd "$1" && pwd) work=$2
program=$build/chronotree.exe
. "$(dirname "$0")/lib.sh"
rm -rf "$work" && mkdir -p "$work"
wine_start "$work"
run() { /usr/lib/wine/wine64 "$program" "$@" >"$work/out" 2>"$work/err" </dev/null; }
lines() { tr -d '\r' <"$1" | grep -v '^Folder dates '; } # the -v lines, without the summary

# chain ROOT LEVELS NAME: folders NAME1/NAME2/... below ROOT, a file at the bottom; prints
# the bottom folder's path.
chain() {
  local folder=$1 level
  rm -rf "$1"
  for level in $(seq "$2"); do folder=$folder/$3$level; done
  mkdir -p "$folder"
  make_file "$folder/bottom.txt" "2020-02-02 02:02:02.2222222"
  find "$1" -type d -exec touch -m -d "2001-01-01 UTC" {} +
  printf '%s' "$folder"
}
# every_folder_set ROOT: every folder below ROOT carries the bottom file's time
every_folder_set() {
  [ "$(find "$1" -mindepth 1 -type d -exec stat -c %.9Y {} + | sort -u)" = \
    "$(epoch "2020-02-02 02:02:02.2222222")" ]
}

# 120 levels of ten characters: 1,300 characters, and 60 of fifty: 3,000 and more.
chain "$work/c120" 120 folder____ >/dev/null
run -a -s "$(winpath "$work/c120")"
check "a chain past 260 characters: exit 0" [ $? -eq 0 ]
check "a chain past 260 characters: set all the way down" every_folder_set "$work/c120"
bottom=$(chain "$work/c60" 60 "$(printf 'x%.0s' $(seq 48))")
check "the long chain passes 3,000 characters" [ "${#bottom}" -gt 3000 ]
run -a -s "$(winpath "$work/c60")"
check "a chain past 3,000 characters: set all the way down" every_folder_set "$work/c60"

# -n and -v over a long path: one line a folder, the path as the top was spelled.
chain "$work/c120" 120 folder____ >/dev/null
before=$(find "$work/c120" -printf '%p %T@\n')
run -a -s -n -v "$(winpath "$work/c120")"
check "-n over a long path writes nothing" [ "$(find "$work/c120" -printf '%p %T@\n')" = "$before" ]
check "-n -v: a line for each of the 120 folders" [ "$(lines "$work/out" | wc -l)" -eq 120 ]
deepest=$(winpath "$work/c120")$(printf '\\folder____%s' $(seq 120))
check "-v spells the deepest path as given, without a prefix" \
  grep -qF "$(printf '2001-01-01T00:00:00.0000000Z\t2020-02-02T02:02:02.2222222Z\t%s' "$deepest")" "$work/out"
check "-v never shows the \\\\?\\ form" [ "$(grep -c '\\\\?' "$work/out")" -eq 0 ]
run -a -s -v "$(winpath "$work/c120")"
check "-v over a long path: the same 120 lines" [ "$(lines "$work/out" | wc -l)" -eq 120 ]
check "-v over a long path: all set" every_folder_set "$work/c120"
check "nothing on standard error" [ ! -s "$work/err" ]

# Names of 84 Japanese characters (252 bytes), three levels deep.
long=$(printf '日%.0s' $(seq 84))
chain "$work/japanese" 3 "$long" >/dev/null
run -a -s "$(winpath "$work/japanese")"
check "names of 84 Japanese characters: set on every level" every_folder_set "$work/japanese"

# Names that end in a dot or a blank, as Linux and Mac machines make them on shared drives.
odd=$work/odd
rm -rf "$odd"
for name in "dot." "blank " "both. " "in.der/deeper."; do
  make_file "$odd/$name/f" "2020-02-02 02:02:02.2222222"
done
find "$odd" -type d -exec touch -m -d "2001-01-01 UTC" {} +
run -a -s -v "$(winpath "$odd")"
check "names ending in a dot or a blank: all five set" every_folder_set "$odd"
check "names ending in a dot or a blank: five lines" [ "$(lines "$work/out" | wc -l)" -eq 5 ]

# The top folder in every spelling: the same tree, the same result.
tree=$work/spelled/tree
spellings=(
  "relative:tree"
  "slashes:$(winpath "$tree" | tr '\\' /)"
  "dots:$(winpath "$work/spelled")\\.\\sub\\..\\tree"
  "trailing separator:$(winpath "$tree")\\"
  "prefixed:\\\\?\\$(winpath "$tree")"
)
for entry in "${spellings[@]}"; do
  label=${entry%%:*} top=${entry#*:}
  mkdir -p "$work/spelled/sub"
  build_tree "$tree"
  (cd "$work/spelled" && /usr/lib/wine/wine64 "$program" -a -s -v "$top" >"$work/out" 2>"$work/err" </dev/null)
  check_tree "top spelled $label" "$tree"
  # A relative top is listed behind the current folder, so that the list restores anywhere.
  listed=$top
  [ "$label" = relative ] && listed="$(winpath "$work/spelled")\\$top"
  check "top spelled $label: seven lines, spelled from the top as given" \
    [ "$(grep -cF "	$listed" "$work/out")" -eq 7 ]
done
build_tree "$work/drive"
rm -f "$WINEPREFIX/dosdevices/t:" && ln -s "$work/drive" "$WINEPREFIX/dosdevices/t:"
(cd / && /usr/lib/wine/wine64 "$program" -a -s "t:" >"$work/out" 2>&1 </dev/null)
check_tree "a bare drive names its root" "$work/drive"

# A copy whose manifest lacks the UTF-8 code page: Wine then speaks the locale's code page
# (1252 for English), as Windows before 10 1903 does. Names in every script still work,
# in both modes.
bare=$work/bare
mkdir -p "$bare"
python3 - "$program" "$bare/chronotree.exe" <<'PATCH'
import re, sys
data = open(sys.argv[1], "rb").read()
element = re.search(rb"<activeCodePage[^>]*>UTF-8</activeCodePage>", data)
assert element, "the manifest holds the UTF-8 code page"
blank = b"<!--" + b" " * (len(element.group(0)) - 7) + b"-->"
open(sys.argv[2], "wb").write(data.replace(element.group(0), blank))
PATCH
check "the copy lacks the UTF-8 code page" [ "$(grep -c 'UTF-8</activeCodePage>' "$bare/chronotree.exe")" -eq 0 ]
build_script_tree "$work"
/usr/lib/wine/wine64 "$bare/chronotree.exe" -a -s "$(winpath "$work/$SCRIPT_TOP")" >"$work/out" 2>&1 </dev/null
check_script_tree "without the UTF-8 code page, automatic" "$work"
build_script_tree "$work"
wine_suite "without the UTF-8 code page, from the window" "$work/bare.out" \
  "$build/tests/ui_driver.exe" --gtest_filter='MainWindow.LooksAsDescribed:MainWindow.SetDates*' \
  "$(winpath "$bare/chronotree.exe")" "$(winpath "$work/$SCRIPT_TOP")" \
  "Folder dates changed: 7 out of 7"
check "both window cases ran" grep -q '\[  PASSED  \] 2 tests' "$work/bare.out"
check_script_tree "without the UTF-8 code page, from the window" "$work"

finish
