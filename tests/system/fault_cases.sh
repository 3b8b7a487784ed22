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
  setpriv --reuid=65534 --regid=65534 --clear-groups "$program" -a "$t" >"$work/out" 2>&1
  check "unprivileged run exits 0" [ $? -eq 0 ]
  check "unreadable: visited, its inside unseen; foreign: not counted" \
    [ "$(summary)" = "Folder dates changed: 1 out of 3" ]
  check "a folder it cannot write keeps its time" has_mtime "$t/foreign" "$(epoch 2001-01-01)"
  check "the readable sibling is set" has_mtime "$t/open" "$(epoch "$T1")"
  chmod 755 "$t/closed"
  check "the unreadable folder is left alone" has_mtime "$t/closed" "$(epoch 2001-01-01)"
  # The parent of an unwritable folder still gets its time.
  u=$work/parent
  make_file "$u/p/foreign/f" "$T2"
  find "$u" -type d -exec touch -m -d "2001-01-01 UTC" {} +
  chown -R 65534:65534 "$u" && chown root:root "$u/p/foreign"
  setpriv --reuid=65534 --regid=65534 --clear-groups "$program" -a "$u" >"$work/out" 2>&1
  check "parent of an unwritable folder: 1 of 2 set" [ "$(summary)" = "Folder dates changed: 1 out of 2" ]
  check "the parent gets the newest time below it" has_mtime "$u/p" "$(epoch "$T2")"
else
  echo "SKIPPED: the rights cases need root to drop to another user"
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

# Deeper than a path can name: the levels that fit are set, the walk ends cleanly.
d=$work/deep
python3 - "$d" <<'PYTHON'
import os, sys
root = sys.argv[1]
os.makedirs(root)
fd = os.open(root, os.O_RDONLY)
for level in range(1, 2201):
    os.mkdir("d", dir_fd=fd)
    if level == 100:
        os.close(os.open("f", os.O_CREAT | os.O_WRONLY, 0o644, dir_fd=fd))
        os.utime("f", (1e9, 1e9), dir_fd=fd)
    below = os.open("d", os.O_RDONLY, dir_fd=fd)
    os.close(fd)
    fd = below
os.close(os.open("bottom", os.O_CREAT | os.O_WRONLY, 0o644, dir_fd=fd))
PYTHON
run -a "$d"
check "a tree deeper than PATH_MAX ends cleanly" [ $? -eq 0 ]
check "the levels above the reachable file are set" \
  [ "$(cd "$d" && stat -c %Y d d/d "$(printf 'd/%.0s' $(seq 99))")" = $'1000000000\n1000000000\n1000000000' ]

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
  "$program" -a -s "$c" || crashes=$((crashes + 1))
done
wait $churner
check "no run crashed while the tree churned" [ $crashes -eq 0 ]
check_tree "stable subtree beside the churn" "$c/stable" below

finish
