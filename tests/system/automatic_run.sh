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
  run() { /usr/lib/wine/wine64 "$program" "$@" >"$work/out" 2>"$work/err" </dev/null; }
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

# Names in every script, the top folder's too, walked from a path given as it is.
build_script_tree "$work"
run -a -s "$(arg "$work/$SCRIPT_TOP")"
check "names in many scripts: exit 0" [ $? -eq 0 ]
check_script_tree "names in many scripts" "$work"

# -i: the files file managers write count as no files; a folder holding only such files
# keeps its time.
build_tree "$tree"
make_file "$tree/A/Thumbs.db" "2030-01-01 00:00:00"
make_file "$tree/C/D/._h.txt" "2031-01-01 00:00:00"
make_file "$tree/Outer/Inner/DESKTOP.INI" "2032-01-01 00:00:00"
touch -m -d "2001-01-01 UTC" "$tree/A" "$tree/C/D" "$tree/Outer/Inner"
run -a -s -i "$(arg "$tree")"
check_tree "-i leaves out Thumbs.db, ._ files and desktop.ini" "$tree"
# -i: the folders servers and systems write are neither walked, nor counted, nor set.
build_tree "$tree"
make_file "$tree/A/@eaDir/B/thumb.jpg" "2030-01-01 00:00:00"
make_file "$tree/C/.AppleDouble/i.txt" "2031-01-01 00:00:00"
make_file "$tree/Outer/.Trash-1000/files/x" "2032-01-01 00:00:00"
find "$tree" -type d -exec touch -m -d "2001-01-01 UTC" {} +
run -a -s -i -v "$(arg "$tree")"
check_tree "-i leaves out @eaDir, .AppleDouble and .Trash-1000" "$tree"
check "-i: the system folders are not set" has_mtime "$tree/A/@eaDir" "$(epoch 2001-01-01)"
check "-i: seven folders listed, none of the system ones" [ "$(grep -c $'\t' "$work/out")" -eq 7 ]

# -n writes nothing at all; -v lists what changes, old time and new, one line a folder.
everything() { (cd "$1" && find . -printf '%p %T@ %A@\n') | sort; }
sep=/ # the separator the program spells paths with
[ "$mode" = wine ] && sep='\'

# A time as -v writes it: seven digits of the second under Windows, nine on Linux.
digits=000000000
[ "$mode" = wine ] && digits=0000000
iso() { # iso "YYYY-MM-DDThh:mm:ss" [SEVEN_DIGITS]
  local seven=${2:-0000000}
  printf '%s.%sZ' "$1" "$seven${digits:7}"
}
expected_changes() { # the lines of a first walk of the standard tree
  local top old
  top=$(arg "$1")
  old=$(iso 2001-01-01T00:00:00)
  printf "$old\t%s\t%s\n" "$(iso 2020-05-06T07:08:09 1234567)" "$top${sep}A${sep}B" \
    "$(iso 2021-01-01T00:00:00 5000000)" "$top${sep}A" \
    "$(iso 2022-02-02T02:02:02 0000001)" "$top${sep}C" \
    "$(iso 2022-02-02T02:02:02 0000001)" "$top${sep}C${sep}D" \
    "$(iso 2018-03-03T00:00:00)" "$top$sep..x" "$(iso 1965-04-04T00:00:00)" "$top$sep.cfg" \
    "$(iso 2100-01-01T00:00:00)" "$top${sep}Future" | sort
}
# The lines of a -v list, without the summary line a Windows program adds to a redirected
# output.
lines() { tr -d '\r' <"$1" | grep -v '^Folder dates ' | sort; }
build_tree "$tree"
before=$(everything "$tree")
run -a -s -n -v "$(arg "$tree")"
check "-n: nothing changed, not even an access time" [ "$(everything "$tree")" = "$before" ]
check "-n -v: the folders that would change" [ "$(lines "$work/out")" = "$(expected_changes "$tree")" ]
run -a -s -v "$(arg "$tree")"
check "-v: the same folders as they change" [ "$(lines "$work/out")" = "$(expected_changes "$tree")" ]
check_tree "-v run" "$tree"
# Every spelling of the dry run, wherever it stands, writes nothing at all.
build_tree "$tree"
before=$(everything "$tree")
spellings=("-an" "-anv" "-a -vn" "-a --dry-run" "-a @ -n" "-ains" "-a -N")
[ "$mode" = wine ] && spellings+=("/an" "/a @ /n")
for spelling in "${spellings[@]}"; do
  words=()
  for word in $spelling; do
    if [ "$word" = @ ]; then words+=("$(arg "$tree")"); else words+=("$word"); fi
  done
  case "$spelling" in *@*) ;; *) words+=("$(arg "$tree")") ;; esac
  run -s "${words[@]}"
  check "the dry run spelled $spelling writes nothing" [ "$(everything "$tree")" = "$before" ]
done
run -a -s -v "$(arg "$tree")"
run -a -s -n -v "$(arg "$tree")" "$(arg "$work/nowhere")"
check "a folder that is not there: exit status 1" [ $? -eq 1 ]
check "-n after a real run: nothing would change" [ "$(lines "$work/out")" = "" ]
check "a folder that cannot be listed is named on standard error" \
  grep -qF "chronotree: cannot list '$(arg "$work/nowhere")': " "$work/err"
check "and that is all there is, but the file dated in the future" \
  [ "$(grep -vc "in the future" "$work/err")" -eq 1 ]
# Failures show without -v too, and the walk goes on to the end.
: >"$work/a-file"
build_tree "$tree"
run -a -s "$(arg "$work/a-file")" "$(arg "$work/nowhere")" "$(arg "$tree")"
check "a file and a missing folder: exit status 1" [ $? -eq 1 ]
check "each is named" [ "$(grep -c "^chronotree: cannot list '" "$work/err")" -eq 2 ]
check_tree "the folder after them is walked" "$tree"

# Undo: a run's -v list restores every folder to its time before the run, to the last
# digit the platform keeps (100 ns under Windows); a folder touched since is left alone.
exact() { (cd "$1" && find . -mindepth 1 -type d -printf '%p %T@\n' | sort); }
stamp="2001-02-03 04:05:06.123456789 UTC" # what Linux keeps; Windows keeps 100 ns
[ "$mode" = wine ] && stamp="2001-02-03 04:05:06.1234567 UTC"
build_tree "$tree"
find "$tree" -mindepth 1 -type d -exec touch -m -d "$stamp" {} +
before=$(exact "$tree")
run -a -s -v "$(arg "$tree")"
cp "$work/out" "$work/list"
walked=$(exact "$tree")
run -s -n -v -r "$(arg "$work/list")"
check "-n -r: status 0" [ $? -eq 0 ]
check "-n -r: what would be restored is listed" [ "$(grep -c "	2001-02-03T04:05:06.1234567" "$work/out")" -eq 7 ]
check "-n -r: nothing written" [ "$(exact "$tree")" != "$before" ]
run -s -v -r "$(arg "$work/list")"
check "-r: status 0" [ $? -eq 0 ]
check "-r: every folder back to its time before the run" [ "$(exact "$tree")" = "$before" ]
cp "$work/out" "$work/list2"
run -s -r "$(arg "$work/list2")"
check "a restore's own list takes the restore back" [ "$(exact "$tree")" = "$walked" ]
touch -m -d "2030-01-01 UTC" "$tree/A"
after=$(exact "$tree")
run -s -r "$(arg "$work/list")"
check "a folder touched since: status 1" [ $? -eq 1 ]
check "a folder touched since: left alone" has_mtime "$tree/A" "$(epoch 2030-01-01)"
check "a folder touched since: named" \
  grep -qF "cannot restore '$(arg "$tree")${sep}A': its time has changed" "$work/err"
check "the others restored" [ "$(grep -c . "$work/err")" -eq 1 ]
# A damaged list writes nothing at all and names the line.
run -s -r "$(arg "$work/list2")"
after=$(exact "$tree")
{ head -n 3 "$work/list2"; echo "not a line of a list"; tail -n +4 "$work/list2"; } >"$work/damaged"
run -s -r "$(arg "$work/damaged")"
check "a damaged list: status 1" [ $? -eq 1 ]
check "a damaged list: nothing written" [ "$(exact "$tree")" = "$after" ]
check "a damaged list: its line named" grep -q "': line 4 is not a line of a -v list" "$work/err"

# A list made from a relative path names every folder whole, so it restores from any
# folder; restoring it twice finds nothing to do, which is no failure.
build_tree "$tree"
find "$tree" -mindepth 1 -type d -exec touch -m -d "$stamp" {} +
before=$(exact "$tree")
(cd "$work" && run -a -s -v tree)
cp "$work/out" "$work/relative-list"
listed() { cut -f 3 "$1" | tr -d '\r' | grep -qxF -- "$2"; } # listed LIST PATH
check "a list from a relative path names each folder from the root" \
  listed "$work/relative-list" "$(arg "$tree")${sep}A${sep}B"
(cd / && run -s -r "$(arg "$work/relative-list")")
check "and restores from another folder" [ "$?:$(exact "$tree")" = "0:$before" ]
(cd / && run -s -r "$(arg "$work/relative-list")")
check "restoring twice: nothing to do, status 0" [ $? -eq 0 ]
check "restoring twice: nothing said" empty "$work/err"
# Two runs' lists kept one after the other with >> go back to the first run's times.
run -a -s -v "$(arg "$tree")"
cp "$work/out" "$work/appended"
touch -m -d "2024-04-04 UTC" "$tree/A/B/f.txt" "$tree/C/i.txt"
run -a -s -v "$(arg "$tree")"
cat "$work/out" >>"$work/appended"
check "the second run moved A/B on" has_mtime "$tree/A/B" "$(epoch 2024-04-04)"
run -s -r "$(arg "$work/appended")"
check "two lists appended: back to the times before the first run" \
  [ "$?:$(exact "$tree")" = "0:$before" ]
# The last digit of the second the platform keeps comes back too.
last="2001-02-03 04:05:06.999999999 UTC"
[ "$mode" = wine ] && last="2001-02-03 04:05:06.9999999 UTC"
find "$tree" -mindepth 1 -type d -exec touch -m -d "$last" {} +
before=$(exact "$tree")
run -a -s -v "$(arg "$tree")"
cp "$work/out" "$work/nines"
run -s -r "$(arg "$work/nines")"
check "an old time ending in nines restores to its last digit" [ "$?:$(exact "$tree")" = "0:$before" ]
# A list of more than 64 KiB is read whole: 600 folders of long names.
wide=$work/widelist
rm -rf "$wide"
python3 - "$wide" <<'PYTHON'
import os, sys
for i in range(600):
    folder = os.path.join(sys.argv[1], "%03d%s" % (i, " long name" * 12))
    os.makedirs(folder)
    open(os.path.join(folder, "f"), "w").close()
    os.utime(os.path.join(folder, "f"), (1.2e9 + i, 1.2e9 + i))
    os.utime(folder, (1e9, 1e9))
PYTHON
run -a -s -v "$(arg "$wide")"
cp "$work/out" "$work/widelist.txt"
check "the list is over 64 KiB" [ "$(stat -c %s "$work/widelist.txt")" -gt 65536 ]
run -s -r "$(arg "$work/widelist.txt")"
check "a list over 64 KiB restores every folder" [ "$?:$(find "$wide" -mindepth 1 -type d \
  -newermt 2002-01-01 | wc -l)" = "0:0" ]

# The choices: names left out, files in the future, one way only, the named folder too.
# Photos with sidecars an editor rewrote years later: the sidecars count as no file, a
# folder named by a pattern is not walked, and the case of a name matters only on Linux.
photos=$work/photos
rm -rf "$photos"
make_file "$photos/2019/a.jpg" "2019-07-14 10:00:00"
make_file "$photos/2019/a.xmp" "2024-01-01 00:00:00"
make_file "$photos/2019/b.JPG" "2019-07-15 10:00:00"
make_file "$photos/2019/b.XMP" "2024-01-02 00:00:00"
make_file "$photos/2019/.cache/x" "2025-01-01 00:00:00"
find "$photos" -type d -exec touch -m -d "2001-01-01 UTC" {} +
run -a -s --exclude='*.xmp' --exclude=.cache "$(arg "$photos")"
check "--exclude: status 0" [ $? -eq 0 ]
check "--exclude: the excluded folder is neither set nor walked" \
  has_mtime "$photos/2019/.cache" "$(epoch 2001-01-01)"
if [ "$mode" = wine ]; then
  check "--exclude on Windows: *.xmp leaves out b.XMP too, any case" \
    has_mtime "$photos/2019" "$(epoch "2019-07-15 10:00:00")"
else
  check "--exclude on Linux: *.xmp is exact, so b.XMP counts" \
    has_mtime "$photos/2019" "$(epoch "2024-01-02 00:00:00")"
fi
run -a -s --exclude=2019/a.xmp "$(arg "$photos")"
check "a pattern with a separator: refused, status 2" [ $? -eq 2 ]
check "a pattern with a separator: said so" grep -q "patterns are matched\|matched against names" "$work/err"
# A camera with a dead clock battery: one file dated 2099, three levels down.
future=$work/future
rm -rf "$future"
make_file "$future/a/b/c/broken.jpg" "2099-01-01 00:00:00"
make_file "$future/a/b/c/fine.jpg" "2015-05-05 00:00:00"
make_file "$future/a/other.jpg" "2016-06-06 00:00:00"
find "$future" -type d -exec touch -m -d "2001-01-01 UTC" {} +
run -a -s "$(arg "$future")"
check "a file in the future: no failure, status 0" [ $? -eq 0 ]
check "a file in the future: named with its date" \
  grep -qF "chronotree: '$(arg "$future")${sep}a${sep}b${sep}c${sep}broken.jpg' is dated 2099-01-01, in the future" "$work/err"
for folder in a a/b a/b/c; do
  check "without --ignore-future, $folder gets 2099" has_mtime "$future/$folder" "$(epoch 2099-01-01)"
done
run -a -s -v --ignore-future "$(arg "$future")"
check "--ignore-future: still named" grep -q "broken.jpg' is dated 2099-01-01" "$work/err"
check "--ignore-future: c gets its other file's date" has_mtime "$future/a/b/c" "$(epoch 2015-05-05)"
check "--ignore-future: a gets the newest of the rest" has_mtime "$future/a" "$(epoch 2016-06-06)"
cp "$work/out" "$work/future-list"
run -s -r "$(arg "$work/future-list")"
check "and its list takes it back to 2099" [ "$?:$(mtime "$future/a")" = "0:$(epoch 2099-01-01)" ]
# Only earlier, only later: each folder moves one way or stays; what -n counts is what the
# real run sets, and the list takes it back.
oneway=$work/oneway
rm -rf "$oneway"
make_file "$oneway/older/f" "2005-05-05 00:00:00"
make_file "$oneway/newer/f" "2015-05-05 00:00:00"
touch -m -d "2010-01-01 UTC" "$oneway/older" "$oneway/newer"
before=$(exact "$oneway")
run -a -s -n -v --only-earlier "$(arg "$oneway")"
check "--only-earlier -n: only the folder that would move earlier is listed" \
  [ "$(lines "$work/out" | cut -f 3 | tr '\\' /)" = "$(arg "$oneway" | tr '\\' /)/older" ]
run -a -s -v --only-earlier "$(arg "$oneway")"
cp "$work/out" "$work/oneway-list"
check "--only-earlier: older moved back" has_mtime "$oneway/older" "$(epoch 2005-05-05)"
check "--only-earlier: newer left alone" has_mtime "$oneway/newer" "$(epoch 2010-01-01)"
run -s -r "$(arg "$work/oneway-list")"
check "--only-earlier: its list restores exactly" [ "$?:$(exact "$oneway")" = "0:$before" ]
run -a -s --only-later "$(arg "$oneway")"
check "--only-later: newer moved on" has_mtime "$oneway/newer" "$(epoch 2015-05-05)"
check "--only-later: older left alone" has_mtime "$oneway/older" "$(epoch 2010-01-01)"
run -a -s --only-earlier --only-later "$(arg "$oneway")"
check "--only-earlier with --only-later: refused, status 2" [ $? -eq 2 ]
# --top: the named folder too, last, and counted.
build_tree "$tree"
before=$(exact "$work/tree-parent" 2>/dev/null)
run -a -s -v --top "$(arg "$tree")"
check "--top: the named folder gets the newest of all" has_mtime "$tree" "$(epoch 2100-01-01)"
check "--top: its line comes last" [ "$(lines "$work/out" | grep -c .)" -eq 8 ]
cp "$work/out" "$work/top-list"
run -s -r "$(arg "$work/top-list")"
check "--top: its list puts the named folder back too" has_mtime "$tree" "$(epoch 2001-01-01)"
# A mistyped long option never becomes a real run.
build_tree "$tree"
for slip in --dryrun --dry_run --Dry-Run; do
  run -a -s "$slip" "$(arg "$tree")"
  check "$slip: refused with status 2" [ $? -eq 2 ]
  check "$slip: the likely option named" grep -qF "unknown option '$slip' (did you mean '--dry-run'?)" "$work/err"
done
run --verbos -s -a "$(arg "$tree")"
check "--verbos: refused too" [ $? -eq 2 ]
check "mistyped long options: nothing walked" has_mtime "$tree/A" "$(epoch 2001-01-01)"
run --verbose -s -a "$(arg "$tree")"
check "--verbose -a: the long name of -v, and -a still an option" [ "$?:$(lines "$work/out" | wc -l)" = "0:7" ]

# Threads: at -j 1 and at -j 8 the same folder times, -v lines, summary and status; and
# the -j 8 list restores at -j 8.
for jobs in 1 8; do
  rm -rf "$work/j$jobs" && python3 "$(dirname "$0")/../../bench/make_tree.py" "$work/j$jobs" \
    wide 300 1000 >/dev/null
  build_tree "$work/j$jobs/std"
  find "$work/j$jobs" -type d -exec touch -m -d "2001-01-01 UTC" {} +
  run -a -s -v -j "$jobs" "$(arg "$work/j$jobs")"
  status=$?
  cp "$work/out" "$work/j$jobs.list"
  echo "status $status" >>"$work/out"
  sed "s#$(arg "$work/j$jobs" | sed 's/\\/\\\\/g')#ROOT#" "$work/out" >"$work/j$jobs.out"
  (cd "$work/j$jobs" && find . -type d -printf '%p %T@\n' | sort) >"$work/j$jobs.times"
done
check "-j 8: the same folder times as -j 1" cmp -s "$work/j1.times" "$work/j8.times"
check "-j 8: the same lines, summary and status" cmp -s "$work/j1.out" "$work/j8.out"
check "-j 8: lines were written" [ "$(wc -l <"$work/j8.out")" -gt 300 ]
run -s -j 8 -r "$(arg "$work/j8.list")"
check "-j 8: the list restores" [ "$(find "$work/j8" -type d -newermt 2001-01-02 | wc -l)" -eq 0 ]

if [ "$mode" = wine ]; then
  # --every: the Windows program walks again each round, a line a round where its output
  # is redirected (its stop comes from a console, which the test has not: it is ended).
  build_tree "$tree"
  timeout 8 /usr/lib/wine/wine64 "$program" -a --every=1 "$(arg "$tree")" >"$work/out" 2>/dev/null \
    </dev/null
  check "--every: rounds a second apart, writing nothing more" \
    [ "$(tr -d '\r' <"$work/out" | grep -cE '^20[0-9-]+ [0-9:]+ Folder dates changed: 0 out of 10$')" -ge 2 ]
  check_tree "--every" "$tree"
  # --created: the list keeps the old creation time as a fourth field, and -r reads it.
  build_tree "$tree"
  run -a -s -v -c "$(arg "$tree")"
  check "--created: status 0" [ $? -eq 0 ]
  check "--created: each line carries the old creation time" \
    [ "$(lines "$work/out" | awk -F '\t' 'NF == 4' | wc -l)" -eq 7 ]
  cp "$work/out" "$work/created-list"
  run -s -r "$(arg "$work/created-list")"
  check "--created: its list restores" [ "$?:$(mtime "$tree/A")" = "0:$(epoch 2001-01-01)" ]
  # In a batch file the summary is wanted as a line: it goes to a redirected output, with
  # -s as without.
  build_tree "$tree"
  run -a -s "$(arg "$tree")"
  check "-a -s into a file: the summary line" \
    [ "$(tr -d '\r' <"$work/out")" = "Folder dates changed: 7 out of 10" ]
  # The system's texts end in a full stop, which the lines drop: never "..", never ".".
  run -a -s "$(arg "$work/nowhere")"
  check "a failure line ends with the system's text, its full stop dropped" \
    grep -qE "^chronotree: cannot list '.*nowhere': [^.]*[^.]"$'\r'"\$" "$work/err"
  # A folder read in batches (over 4 MiB of entries): the second look at it, for its files,
  # sees every batch, so the newest file counts wherever it stands.
  batched=$work/batched
  for place in first last; do
    rm -rf "$batched"
    python3 - "$batched/wide" "$place" <<'PYTHON'
import os, sys
folder, place = sys.argv[1], sys.argv[2]
os.makedirs(folder + "/sub")
open(folder + "/sub/f", "w").close()
os.utime(folder + "/sub/f", (1e9, 1e9))
for i in range(24000):
    path = "%s/%05d%s" % (folder, i, "p" * 195)
    open(path, "w").close()
    os.utime(path, (1e9, 1e9))
names = [name for name in os.listdir(folder) if name != "sub"]
newest = names[0] if place == "first" else names[-1]
os.utime(os.path.join(folder, newest), (1.5e9, 1.5e9))
PYTHON
    touch -m -d "2001-01-01 UTC" "$batched/wide"
    run -a -s "$(arg "$batched")"
    check "a batched folder: the newest file $place in the listing counts" \
      has_mtime "$batched/wide" "1500000000.000000000"
  done
  rm -rf "$batched"
  # More words than the Windows command line takes: refused before anything is walked.
  build_tree "$tree"
  words=() # short, so that the line stays within what Windows passes (32,767 characters)
  for i in $(seq 1030); do words+=("w$i"); done
  run -a -s "$(arg "$tree")" "${words[@]}"
  check "more than 1023 words: status 1" [ $? -eq 1 ]
  check "more than 1023 words: said on standard error" grep -q "more than 1023 words" "$work/err"
  check "more than 1023 words: nothing walked" has_mtime "$tree/A" "$(epoch "2001-01-01")"
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
  check "and on standard error only the file dated in the future" [ "$(cat "$work/err")" = \
    "chronotree: '$tree/Future/m.txt' is dated 2100-01-01, in the future" ]
  build_tree "$tree"
  run "$tree"
  check "a folder without -a: status 2" [ $? -eq 2 ]
  check "a folder without -a: one line says how to walk it" [ "$(cat "$work/err")" = \
    "chronotree: to walk $tree, add -a: chronotree -a $tree" ]
  check "a folder without -a: nothing walked" has_mtime "$tree/A" "$(epoch 2001-01-01)"
  run -s "$work/My Files"
  check "with -s too, the name quoted for the shell" [ "$?:$(cat "$work/err")" = \
    "2:chronotree: to walk $work/My Files, add -a: chronotree -a '$work/My Files'" ]
  run
  check "no folder and no option: the usage, status 1" \
    [ "$?:$(head -c 25 "$work/err")" = "1:usage: chronotree -a [-s]" ]
  # -r needs its list: as the last word it is refused and nothing is done.
  for words in "-r" "-a -r" "-n -v -r" "-s $tree -r"; do
    run $words
    check "'$words': status 2" [ $? -eq 2 ]
    check "'$words': said so" grep -q "^chronotree: -r needs the list" "$work/err"
  done
  check "and nothing walked" has_mtime "$tree/A" "$(epoch 2001-01-01)"
  # --created cannot be done here: refused before anything is walked.
  build_tree "$tree"
  run -a --created "$tree"
  check "--created on Linux: refused, status 2" [ $? -eq 2 ]
  check "--created on Linux: said why" grep -q "creation time" "$work/err"
  check "--created on Linux: nothing walked" has_mtime "$tree/A" "$(epoch 2001-01-01)"
  # -x is --exclude.
  run -a -s -x '*.txt' "$tree"
  check "-x PATTERN: every file left out, nothing set" has_mtime "$tree/A" "$(epoch 2001-01-01)"
  # --no-links: a link out of the tree and one back into it are neither read nor written.
  build_tree "$tree"
  make_file "$work/elsewhere/deep/x" "2090-01-01 00:00:00"
  touch -m -d "2001-01-01 UTC" "$work/elsewhere/deep"
  ln -s "$work/elsewhere" "$tree/A/out"
  ln -s ../../C "$tree/A/B/back"
  ln -s "$work/elsewhere/deep/x" "$tree/Outer/Inner/file-link"
  touch -h -m -d "2012-12-12 UTC" "$tree/Outer/Inner/file-link"
  touch -m -d "2001-01-01 UTC" "$tree/A" "$tree/A/B" "$tree/Outer/Inner"
  # LeakSanitizer cannot work under a tracer: leaks are left to the other cases.
  ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
    strace -f -e trace=openat,newfstatat,statx,utimensat -o "$work/trace" \
    "$program" -a -s --no-links "$tree" >"$work/out" 2>"$work/err"
  check "--no-links: status 0" [ $? -eq 0 ]
  check "--no-links: nothing outside is read or written" \
    [ "$(grep -c "elsewhere\|deep" "$work/trace")" -eq 0 ]
  check "--no-links: the folder beyond the link keeps its time" \
    has_mtime "$work/elsewhere/deep" "$(epoch 2001-01-01)"
  check "--no-links: B gets f alone" has_mtime "$tree/A/B" "$(epoch "2020-05-06 07:08:09.1234567")"
  check "--no-links: A gets g alone" has_mtime "$tree/A" "$(epoch "2021-01-01 00:00:00.5")"
  check "--no-links: a link to a file counts as a file, of its own time" \
    has_mtime "$tree/Outer/Inner" "$(epoch 2012-12-12)"
  rm -f "$tree/A/out" "$tree/A/B/back"

  # Links back up the path end the descent; the top is not written through them.
  build_tree "$tree"
  ln -s .. "$tree/A/B/up"
  ln -s "$tree" "$tree/C/top"
  ln -s ../../A "$tree/C/D/sideways"
  run -a "$tree"
  check "links: counted, not entered" [ "$(cat "$work/out")" = "Folder dates changed: 9 out of 15" ]
  check_tree "with links" "$tree"

  # Names with a newline, a tab and a backslash come back from the list whole.
  odd=$work/oddnames
  rm -rf "$odd"
  for name in $'new\nline' $'tab\there' 'back\slash' $'bell\a' $'del\x7f'; do
    make_file "$odd/$name/f" "2020-01-01 00:00:00"
  done
  find "$odd" -mindepth 1 -type d -exec touch -m -d "2001-01-01 00:00:00.000000001 UTC" {} +
  before=$(exact "$odd")
  run -a -v "$odd"
  check "odd names: one line each in the list" [ "$(grep -c $'\t' "$work/out")" -eq 5 ]
  check "odd names: DEL escaped as the other control bytes" grep -qF '/del\x7F' "$work/out"
  check "odd names: no raw control byte in the list" \
    [ "$(tr -d '\t\n' <"$work/out" | tr -d '\040-\176' | wc -c)" -eq 0 ]
  cp "$work/out" "$work/oddlist"
  run -r "$work/oddlist"
  check "odd names: restored" [ "$?:$(exact "$odd")" = "0:$before" ]
  check "the restore's summary" [ "$(cat "$work/out")" = "Folder dates restored: 5 out of 5" ]
  # A restore whose own list cannot be kept restores no folder without its line.
  run -a -v "$odd"
  cp "$work/out" "$work/oddlist"
  after=$(exact "$odd")
  "$program" -v -r "$work/oddlist" >/dev/full 2>"$work/err"
  check "-v -r into a full disk: status 1" [ $? -eq 1 ]
  check "-v -r into a full disk: nothing restored" [ "$(exact "$odd")" = "$after" ]
  # When the list cannot be kept, no folder is changed without its line.
  build_tree "$tree"
  before=$(exact "$tree")
  "$program" -a -v "$tree" >/dev/full 2>"$work/err"
  check "-v into a full disk: status 1" [ $? -eq 1 ]
  check "-v into a full disk: nothing changed" [ "$(exact "$tree")" = "$before" ]
  check "-v into a full disk: said so" grep -q "^chronotree: cannot write the list of changes" "$work/err"
  "$program" -a -v "$tree" >&- 2>"$work/err"
  check "-v into a closed output: status 1, nothing changed" [ "$?:$(exact "$tree")" = "1:$before" ]

  # The dry run's own summary; and -s silences the summary, never -v's lines.
  build_tree "$tree"
  run -a -n "$tree"
  check "the dry run says so" [ "$(cat "$work/out")" = "Folder dates that would change: 7 out of 10" ]
  run -a -s -v "$tree"
  check "-s keeps the -v lines" [ "$(wc -l <"$work/out")" -eq 7 ]
  build_tree "$tree"
  "$program" -a -s -v "$tree" | cat >"$work/piped"
  check "-v into a pipe: the same lines" [ "$(sort "$work/piped")" = "$(expected_changes "$tree")" ]
  # The conventions of a Linux command: usage and version on standard output, status 0;
  # an unknown option named, status 2, nothing walked.
  for ask in -h --help; do
    run "$ask"
    check "$ask: status 0" [ $? -eq 0 ]
    check "$ask: the usage on standard output" grep -q "^usage: chronotree -a" "$work/out"
    check "$ask: nothing on standard error" empty "$work/err"
  done
  for option in -a -s -i -n -v -- --dry-run --help --version --only-earlier --only-later \
    --ignore-future --top --no-links; do
    check "the usage names $option" grep -qE -- "^  (-., )?$option[ ,]" "$work/out"
  done
  check "the usage gives the exit statuses" grep -q "^Exit status: 0 when" "$work/out"
  check "--help through a pipe" [ "$("$program" --help | head -n 1)" = "$(head -n 1 "$work/out")" ]
  run --version
  check "--version: the version, status 0" [ "$?:$(cat "$work/out")" = "0:chronotree 0.01" ]
  build_tree "$tree"
  run -a "$tree" -q
  check "an unknown option: status 2" [ $? -eq 2 ]
  check "it names itself" [ "$(cat "$work/err")" = "chronotree: unknown option '-q'
chronotree: Try 'chronotree --help' for more information." ]
  check "nothing is walked" has_mtime "$tree/A" "$(epoch "2001-01-01")"
  run -a --frobnicate -q
  check "other -- words are refused: status 2" [ $? -eq 2 ]
  check "other -- words are refused, named" grep -q "unknown option '--frobnicate'" "$work/err"

  # Every folder named is walked, however many: 1,100 on one command line.
  many=()
  for i in $(seq 1100); do
    make_file "$work/many/$i/sub/f" "2015-05-05 00:00:00"
    many+=("$work/many/$i")
  done
  find "$work/many" -type d -exec touch -m -d "2001-01-01 UTC" {} +
  run -a "${many[@]}"
  check "1,100 folders: status 0" [ $? -eq 0 ]
  check "1,100 folders: every one walked" \
    [ "$(find "$work/many" -mindepth 2 -maxdepth 2 -newermt 2010-01-01 | wc -l)" -eq 1100 ]

  # On a terminal, a progress line before the summary; erased before it. A tree large
  # enough to take over a second.
  big=$work/big
  python3 "$(dirname "$0")/../../bench/make_tree.py" "$big" wide 120000 120000
  script -q -e -c "$program -a $big" "$work/terminal" >/dev/null </dev/null
  check "on a terminal: progress before the summary" \
    grep -qaE $'\r[0-9]+ folders, [0-9]+ set  .*/big/' "$work/terminal"
  check "erased before the summary" grep -qa $'\r\e\\[KFolder dates changed: ' "$work/terminal"
  run -a "$big"
  check "standard error not a terminal: nothing there" empty "$work/err"
fi

finish
