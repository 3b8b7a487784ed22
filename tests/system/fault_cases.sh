#!/usr/bin/env bash
# The Linux command on hostile real trees: folders it may not read or write (run as an
# unprivileged user), odd names, links in every shape, a tree deeper than a path can name,
# and a subtree churning while the walk runs.
# usage: fault_cases.sh PROGRAM WORKDIR
set -u
program=$(realpath "$1") work=$2
. "$(dirname "$0")/lib.sh"
rm -rf "$work" && mkdir -p "$work"
chmod 755 "$work"
run() { "$program" "$@" >"$work/out" 2>"$work/err"; }
summary() { cat "$work/out"; }
T1="2011-11-11 11:11:11.1111111" T2="2012-12-12 12:12:12.1212121"

# As an unprivileged user: a folder it cannot read yields nothing; one it cannot write is
# not counted, yet its parent still gets the newest time below it.
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null; then
  t=$work/rights
  make_file "$t/closed/inside/f" "$T2"
  make_file "$t/foreign/f" "$T1"
  make_file "$t/open/f" "$T1"
  find "$t" -type d -exec touch -m -d "2001-01-01 UTC" {} +
  chown -R 65534:65534 "$t"
  chown root:root "$t/foreign"
  chmod 000 "$t/closed"
  as_nobody() { setpriv --reuid=65534 --regid=65534 --clear-groups "$program" "$@" >"$work/out" 2>"$work/err"; }
  as_nobody -a "$t"
  check "unprivileged run with failures exits 1" [ $? -eq 1 ]
  check "unreadable: visited, its inside unseen; foreign: not counted" \
    [ "$(summary)" = "Folder dates changed: 1 out of 3" ]
  check "a folder it cannot write keeps its time" has_mtime "$t/foreign" "$(epoch 2001-01-01)"
  check "the readable sibling is set" has_mtime "$t/open" "$(epoch "$T1")"
  check "each failure is named with the system's reason, without -v" [ "$(sort "$work/err")" = \
"chronotree: cannot list '$t/closed': Permission denied
chronotree: cannot set '$t/foreign': Operation not permitted" ]
  as_nobody -a -n "$t"
  check "a dry run meets the same folder it cannot list: exit 1" [ $? -eq 1 ]
  # A folder whose names can be read but not searched (0444, 0400): its files' times
  # cannot be had, so it is a folder that cannot be listed, and says so.
  for mode in 444 400; do
    r=$work/search$mode
    make_file "$r/p/q/new" "$T2"
    make_file "$r/p/old" "$T1"
    find "$r" -type d -exec touch -m -d "2001-01-01 UTC" {} +
    chown -R 65534:65534 "$r" && chown root:root "$r/p/q" && chmod "$mode" "$r/p/q"
    as_nobody -a "$r"
    check "mode $mode: exit 1" [ $? -eq 1 ]
    check "mode $mode: cannot list, Permission denied" \
      [ "$(cat "$work/err")" = "chronotree: cannot list '$r/p/q': Permission denied" ]
  done
  chmod 755 "$t/closed"
  check "the unreadable folder is left alone" has_mtime "$t/closed" "$(epoch 2001-01-01)"
  # The parent of an unwritable folder still gets its time.
  u=$work/parent
  make_file "$u/p/foreign/f" "$T2"
  find "$u" -type d -exec touch -m -d "2001-01-01 UTC" {} +
  chown -R 65534:65534 "$u" && chown root:root "$u/p/foreign"
  as_nobody -a "$u"
  check "parent of an unwritable folder: 1 of 2 set" [ "$(summary)" = "Folder dates changed: 1 out of 2" ]
  check "the parent gets the newest time below it" has_mtime "$u/p" "$(epoch "$T2")"
else
  echo "SKIPPED: the rights cases need root to drop to another user"
fi

# A read-only mount: every folder below it cannot be set, and each says so.
m=$work/readonly
build_tree "$m"
if mount --bind "$m" "$m" 2>/dev/null && mount -o remount,bind,ro "$m" 2>/dev/null; then
  run -a "$m"
  check "read-only: exit 1" [ $? -eq 1 ]
  check "read-only: the seven folders with files cannot be set" \
    [ "$(grep -c "^chronotree: cannot set '$m/.*': Read-only file system\$" "$work/err")" -eq 7 ]
  check "read-only: none set" [ "$(summary)" = "Folder dates changed: 0 out of 10" ]
  run -a -n "$m"
  check "read-only, dry run: nothing to write, exit 0" [ $? -eq 0 ]
  umount "$m"
else
  mountpoint -q "$m" && umount "$m"
  echo "SKIPPED: no bind mount here, so no read-only tree"
fi

# Names with bytes that are not UTF-8, a newline, a leading '-', '*' and '?'.
n=$work/names
for name in $'\xff\xfe' $'new\nline' "-dash" "star*" "what?" "back\\slash"; do
  make_file "$n/$name/f" "$T1"
done
find "$n" -type d -exec touch -m -d "2001-01-01 UTC" {} +
run -a -- "$n"
check "odd names: all six set" [ "$(summary)" = "Folder dates changed: 6 out of 6" ]
check "a name with a newline is set" has_mtime "$n/"$'new\nline' "$(epoch "$T1")"
check "a name that is not UTF-8 is set" has_mtime "$n/"$'\xff\xfe' "$(epoch "$T1")"
make_file "$work/"$'\xff\xc3('"/a/f" "$T2"
run -a "$work/"$'\xff\xc3('
check "a top folder whose name is not UTF-8" has_mtime "$work/"$'\xff\xc3('"/a" "$(epoch "$T2")"
make_file "$work/-top/a/f" "$T2"
(cd "$work" && "$program" -a -- -top >"$work/out" 2>&1)
check "a top folder named -top, after --" has_mtime "$work/-top/a" "$(epoch "$T2")"

# Links: to an ancestor, between siblings, a ring, dangling, to a file.
l=$work/links
make_file "$l/a/f" "$T1"
make_file "$l/b/g" "$T2"
ln -s .. "$l/a/up"
ln -s ../b "$l/a/toB"
ln -s ../a "$l/b/toA"
ln -s nowhere "$l/b/dangling"
ln -s g "$l/b/toFile"
touch -h -d "2000-01-01 UTC" "$l/b/dangling" "$l/b/toFile"
find "$l" -type d -exec touch -m -d "2001-01-01 UTC" {} +
run -a "$l"
check "links end: walk exits 0" [ $? -eq 0 ]
check "the top is never written through a link" has_mtime "$l" "$(epoch 2001-01-01)"
check "a sees b's newer file through its link" has_mtime "$l/a" "$(epoch "$T2")"
check "b gets its own newest" has_mtime "$l/b" "$(epoch "$T2")"
# a, a/up (stopped), a/toB, a/toB/toA (stopped), b, b/toA, b/toA/up (stopped), b/toA/toB (stopped)
check "links: counts" [ "$(summary)" = "Folder dates changed: 4 out of 8" ]

# Links to files count as files, with their own times: one newer than every real file
# sets its folder.
make_file "$l/withlink/real" "$T1"
ln -s real "$l/withlink/newer"
touch -h -d "2030-03-03 UTC" "$l/withlink/newer"
run -a "$l"
check "a link to a file, newer than the files, sets its folder" \
  has_mtime "$l/withlink" "$(epoch 2030-03-03)"

# Chains far deeper than PATH_MAX: make_chain ROOT LEVELS [FILE_LEVEL...] makes a chain of
# "d" folders (openat, since no path can name the deep ones), each file at its level
# stamped 1e9 + level, and a file at the bottom stamped 2e9.
make_chain() {
  python3 - "$@" <<'PYTHON'
import os, sys
root, levels, marks = sys.argv[1], int(sys.argv[2]), {int(a) for a in sys.argv[3:]}
os.makedirs(root)
fd = os.open(root, os.O_RDONLY)
for level in range(1, levels + 1):
    os.mkdir("d", dir_fd=fd)
    below = os.open("d", os.O_RDONLY, dir_fd=fd)
    os.close(fd)
    fd = below
    if level in marks:
        os.close(os.open("f", os.O_CREAT | os.O_WRONLY, 0o644, dir_fd=fd))
        os.utime("f", (1e9 + level, 1e9 + level), dir_fd=fd)
os.close(os.open("bottom", os.O_CREAT | os.O_WRONLY, 0o644, dir_fd=fd))
os.utime("bottom", (2e9, 2e9), dir_fd=fd)
PYTHON
}
# chain_times ROOT LEVEL...: the modification seconds of those levels, one a line.
chain_times() {
  python3 - "$@" <<'PYTHON'
import os, sys
fd, wanted = os.open(sys.argv[1], os.O_RDONLY), [int(a) for a in sys.argv[2:]]
for level in range(1, max(wanted) + 1):
    below = os.open("d", os.O_RDONLY, dir_fd=fd)
    os.close(fd)
    fd = below
    if level in wanted:
        print(int(os.fstat(fd).st_mtime))
PYTHON
}
d=$work/chain
make_chain "$d" 3000
run -a "$d"
check "a chain of 3000: every folder set" [ "$(summary)" = "Folder dates changed: 3000 out of 3000" ]
check "from the top of the chain to its bottom" \
  [ "$(chain_times "$d" 1 2041 3000 | sort -u)" = 2000000000 ]
find "$d" -type d -exec touch -m -d "2001-01-01 UTC" {} + 2>/dev/null
(ulimit -n 24 && "$program" -a "$d" >"$work/out" 2>"$work/err")
check "with 24 descriptors: every folder set" [ "$(summary)" = "Folder dates changed: 3000 out of 3000" ]
check "and still to the bottom" [ "$(chain_times "$d" 1 1500 3000 | sort -u)" = 2000000000 ]

# Deeper than the path buffer can spell: the levels that fit are walked, those below are
# not reached, and the walk ends cleanly.
d=$work/deeper
make_chain "$d" 17000 5000
run -a "$d"
check "a chain of 17000: what cannot be spelled is a failure, exit 1" [ $? -eq 1 ]
check "named as a folder that cannot be listed" \
  grep -q "^chronotree: cannot list '$d/d/d/.*': File name too long\$" "$work/err"
check "the 5000 levels above the file at 5000 are set" \
  grep -q "^Folder dates changed: 5000 out of 16[0-9][0-9][0-9]\$" "$work/out"
check "to that file's time" [ "$(chain_times "$d" 1 5000 | sort -u)" = 1000005000 ]

# Links far below PATH_MAX: one back to the top (counted, not entered), one to a sibling
# (followed, so its newer file reaches up the chain).
d=$work/linked
make_chain "$d/chain" 2500 2500
make_file "$d/sibling/s" "2040-01-01 00:00:00"
python3 - "$d" <<'PYTHON'
import os, sys
top = sys.argv[1]
fd = os.open(top + "/chain", os.O_RDONLY)
for level in range(1, 2501):
    below = os.open("d", os.O_RDONLY, dir_fd=fd)
    os.close(fd)
    fd = below
    if level == 2497:
        os.symlink(top + "/sibling", "side", dir_fd=fd)
os.symlink(top, "up", dir_fd=fd)
PYTHON
run -a "$d"
# Visited: chain, its 2500 levels, up (not entered), side and sibling; all but up are set.
check "links at depth: counts" [ "$(summary)" = "Folder dates changed: 2503 out of 2504" ]
check "the sibling's file reaches the top of the chain" \
  [ "$(chain_times "$d/chain" 1 2497)" = "$(printf '%s\n' "$(epoch 2040-01-01)" "$(epoch 2040-01-01)" | cut -d. -f1)" ]
check "the top is never written through the link back up" has_mtime "$d" "$(mtime "$d")"

# A subtree churning (folders made, renamed and removed) while the walk runs: nothing
# crashes, and every folder outside it is set right.
c=$work/churn
build_tree "$c/stable"
python3 "$(dirname "$0")/../../bench/make_tree.py" "$c/busy" wide 2000 4000
( end=$((SECONDS + 4)); i=0
  while [ $SECONDS -lt $end ]; do
    i=$((i + 1))
    mkdir -p "$c/busy/d$((i % 10))/new$i/x" && touch "$c/busy/d$((i % 10))/new$i/x/f"
    mv "$c/busy/d$((i % 10))/new$i" "$c/busy/d$(((i + 1) % 10))/moved$i" 2>/dev/null
    rm -rf "$c/busy/d$(((i + 5) % 10))/moved$((i - 5))"
  done ) &
churner=$!
crashes=0
while kill -0 $churner 2>/dev/null; do
  "$program" -a -s "$c" 2>/dev/null
  [ $? -le 1 ] || crashes=$((crashes + 1)) # folders gone mid-walk are failures, not crashes
done
wait $churner
check "no run crashed while the tree churned" [ $crashes -eq 0 ]
check_tree "stable subtree beside the churn" "$c/stable" below

finish
