#!/usr/bin/env bash
# The Linux command on trees built to break one rule each: links that reach the top from
# above or a folder twice, times below 100 ns and past the year 60056, names that are
# prefixes of each other, paths of exactly PATH_MAX bytes and tops past it, folders read in
# batches, "/" as the top, small stacks.
# usage: walk_rules.sh PROGRAM WORKDIR
set -u
program=$(realpath "$1") work=$2
. "$(dirname "$0")/lib.sh"
rm -rf "$work" && mkdir -p "$work"
run() { "$program" "$@" >"$work/out" 2>"$work/err"; }
summary() { cat "$work/out"; }

# A link to the top's parent: entered, it would walk the top again and write it.
w=$work/parent
mkdir -p "$w/top/a"
make_file "$w/top/a/f" "2001-09-09 01:46:40"
ln -s .. "$w/top/up"
touch -m -d @5 "$w/top/a" "$w/top" "$w"
run -a -v "$w/top"
check "a link to the parent: exit 0" [ $? -eq 0 ]
check "a link to the parent: the top keeps its time" has_mtime "$w/top" "5.000000000"
check "a link to the parent: only a is listed" [ "$(grep $'\t' "$work/out" | cut -f3)" = "$w/top/a" ]
check "a link to the parent: counted, not entered" \
  [ "$(tail -n 1 "$work/out")" = "Folder dates changed: 1 out of 2" ]
# Reached twice on one path: x/L1 -> ../a/b, a/b/L2 -> .. ; x/L1/L2/b is b again.
t=$work/twice
make_file "$t/a/b/f" "2010-10-10 10:10:10"
mkdir -p "$t/x"
ln -s ../a/b "$t/x/L1"
ln -s .. "$t/a/b/L2"
run -a -v "$t"
check "a folder met twice on one path is entered once" \
  [ "$(grep -c "L1/L2/b" "$work/out")" -eq 0 ]
check "a folder met twice: counts" [ "$(tail -n 1 "$work/out")" = "Folder dates changed: 4 out of 7" ]

# Below 100 ns: a folder that differs from its new time only there is changed by a real
# run, so the dry run counts it and -v lists it, with every digit of its old time.
n=$work/nano
make_file "$n/a/f" "2019-07-14 10:00:00.123456789"
touch -m -d "2019-07-14 10:00:00.123456750 UTC" "$n/a"
run -a -n -v "$n"
check "below 100 ns: the dry run counts it" \
  [ "$(tail -n 1 "$work/out")" = "Folder dates that would change: 1 out of 1" ]
check "below 100 ns: the old time to the nanosecond" grep -q $'^2019-07-14T10:00:00.123456750Z\t2019-07-14T10:00:00.123456700Z\t' "$work/out"
run -a "$n"
check "the real run writes the time cut to 100 ns" has_mtime "$n/a" "$(epoch "2019-07-14 10:00:00.1234567")"
run -a -n "$n"
check "and then nothing would change" [ "$(summary)" = "Folder dates that would change: 0 out of 1" ]

# Times no FILETIME holds, where the file system keeps them (tmpfs): past the year 60056
# the latest time, never a wrap; before 1601 the true old time in the list.
if shm=$(mktemp -d -p /dev/shm 2>/dev/null); then
  mkdir -p "$shm/late/far" "$shm/early/e"
  touch -m -d @2000000000000 "$shm/late/far/f"
  # In the last second a FILETIME holds, a time before its .9551615 is kept as it is.
  mkdir -p "$shm/last/near"
  touch -m -d @1833029933770.9 "$shm/last/near/f"
  make_file "$shm/early/e/f" "2000-01-01 00:00:00"
  touch -m -d @-12000000000 "$shm/early/e"
  run -a -v "$shm/late"
  check "past the year 60056: the latest time, no wrap" \
    has_mtime "$shm/late/far" "1833029933770.955161500"
  run -a "$shm/last"
  check "the last second before the latest time: kept, not saturated" \
    has_mtime "$shm/last/near" "1833029933770.900000000"
  run -a -v "$shm/early"
  check "an old time before 1601 is listed as it is" grep -q $'^1589-' "$work/out"
  rm -rf "$shm"
else
  echo "SKIPPED: no tmpfs at /dev/shm"
fi

# Names that are prefixes of each other, walked one after the other: every one set.
p=$work/prefix
for name in B1 B1x B1xy B B10; do make_file "$p/$name/f" "2012-01-0${#name} 00:00:00"; done
find "$p" -type d -exec touch -m -d "2001-01-01 UTC" {} +
run -a -v "$p"
check "prefix names: all five listed" [ "$(grep -c . "$work/out")" -eq 6 ]
for name in B1 B1x B1xy B B10; do
  check "prefix name $name set" has_mtime "$p/$name" "$(epoch "2012-01-0${#name} 00:00:00")"
done

# A top of exactly PATH_MAX (4096) bytes and one a byte longer: both walked.
for length in 4096 4097; do
  top=$(python3 - "$work/exact$length" "$length" <<'PYTHON'
import os, sys
base, length = sys.argv[1], int(sys.argv[2])
os.makedirs(base)
path, fd = base, os.open(base, os.O_RDONLY)
while len(path) < length:
    name = "n" * min(200, length - len(path) - 1)
    if length - len(path) - 1 - len(name) in range(1, 2):  # never leave a one-byte gap
        name = name[:-2]
    os.mkdir(name, dir_fd=fd)
    below = os.open(name, os.O_RDONLY, dir_fd=fd)
    os.close(fd)
    fd, path = below, path + "/" + name
os.mkdir("sub", dir_fd=fd)
sub = os.open("sub", os.O_RDONLY, dir_fd=fd)
os.close(os.open("f", os.O_CREAT | os.O_WRONLY, 0o644, dir_fd=sub))
os.utime("f", (1e9, 1e9), dir_fd=sub)
print(path)
PYTHON
)
  run -a "$top"
  check "a top of $length bytes (${#top}) is walked" [ "$(summary)" = "Folder dates changed: 1 out of 1" ]
done

# Folders read in batches (over 4 MiB of entries: 22,000 names of 200 bytes), which hold
# subfolders too, on ext4 (or whatever holds the work folder) and on tmpfs: the newest
# file counts wherever it stands, and no folder is counted twice or invented. Under a
# descriptor limit of 5 (two for the walk), the same folder without its subfolders.
# Runs the program with standard input, output ($work/out) and error ($work/err) open and
# no other descriptor, whatever the test runner left open, under a limit of 5.
with_five_descriptors() {
  python3 - "$program" "$work" "$@" <<'PYTHON'
import os, resource, sys
program, work, arguments = sys.argv[1], sys.argv[2], sys.argv[3:]
for name, fd in (("out", 1), ("err", 2)):
    os.dup2(os.open(os.path.join(work, name), os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644), fd)
os.closerange(3, 65536)
resource.setrlimit(resource.RLIMIT_NOFILE, (5, 5))
os.execv(program, [program] + arguments)
PYTHON
}
wide_case() { # wide_case ROOT LABEL
  local root=$1 label=$2
  python3 - "$root" <<'PYTHON'
import os, sys
root = sys.argv[1]
os.makedirs(root + "/wide")
pad = "p" * 190
for i in range(22000):
    name = "%s/wide/%05d%s" % (root, i, pad)
    if i % 2000 == 7:
        os.mkdir(name)
        open(name + "/inner", "w").close()
        os.utime(name + "/inner", (1.2e9 + i, 1.2e9 + i))
    else:
        open(name, "w").close()
        os.utime(name, (1e9, 1e9))
# The newest file last in the order the system lists the folder, so past the first batch.
last = [name for name in os.listdir(root + "/wide") if os.path.isfile(root + "/wide/" + name)][-1]
os.utime(root + "/wide/" + last, (1.5e9, 1.5e9))
PYTHON
  touch -m -d "2001-01-01 UTC" "$root/wide"
  run -a "$root"
  check "$label: every subfolder once, none invented" [ "$(summary)" = "Folder dates changed: 12 out of 12" ]
  check "$label: the newest file, wherever it stands" has_mtime "$root/wide" "1500000000.000000000"
  find "$root/wide" -mindepth 1 -type d -exec rm -r {} +
  touch -m -d "2001-01-01 UTC" "$root/wide"
  with_five_descriptors -a "$root"
  check "$label, 5 descriptors: the one folder" [ "$(summary)" = "Folder dates changed: 1 out of 1" ]
  check "$label, 5 descriptors: the newest file" has_mtime "$root/wide" "1500000000.000000000"
}
wide_case "$work/wide" "wide folder"
if shm=$(mktemp -d -p /dev/shm 2>/dev/null); then
  wide_case "$shm" "wide folder on tmpfs"
  rm -rf "$shm"
fi

# "/" as the top, in a chroot: every folder below the root is set, and the root is not.
if readelf -l "$program" | grep -q INTERP; then
  echo "SKIPPED: / as the top needs a static program to run alone in a chroot"
elif [ "$(id -u)" -eq 0 ] && command -v chroot >/dev/null; then
  r=$work/root
  build_tree "$r"
  rm -f "$r/top.txt"
  cp "$program" "$r/chronotree"
  touch -m -d "2001-01-01 UTC" "$r"
  if chroot "$r" /chronotree -a / >"$work/out" 2>"$work/err"; then
    check_tree "/ as the top" "$r"
    check "the root itself keeps its time" has_mtime "$r" "$(epoch 2001-01-01)"
  else
    check "/ as the top, in a chroot" false
  fi
else
  echo "SKIPPED: / as the top needs root for a chroot"
fi

# Deep chains where the stack is small. A soft limit is raised as far as the hard one lets
# it; under a hard limit of 2 MiB what lies deeper than the stack holds is reported, not a
# crash.
d=$work/chain
python3 - "$d" <<'PYTHON'
import os, sys
fd = os.open(sys.argv[1], os.O_RDONLY) if os.path.isdir(sys.argv[1]) else (os.makedirs(sys.argv[1]) or os.open(sys.argv[1], os.O_RDONLY))
for level in range(16000):
    os.mkdir("d", dir_fd=fd)
    below = os.open("d", os.O_RDONLY, dir_fd=fd)
    os.close(fd)
    fd = below
    if level == 999:
        os.close(os.open("f", os.O_CREAT | os.O_WRONLY, 0o644, dir_fd=fd))
PYTHON
bash -c 'ulimit -Ss 1024 && exec "$0" -a "$1"' "$program" "$d" >"$work/out" 2>"$work/err"
check "a soft stack limit of 1 MiB: raised, the whole chain walked" \
  [ "$?:$(summary)" = "0:Folder dates changed: 1000 out of 16000" ]
bash -c 'ulimit -Ss 2048 && ulimit -Hs 2048 && exec "$0" -a "$1"' "$program" "$d" >"$work/out" 2>"$work/err"
status=$?
check "a hard stack limit of 2 MiB: no crash, exit 1" [ $status -eq 1 ]
check "the folders above the stack's end are set" grep -q "^Folder dates changed: 1000 out of " "$work/out"
check "what lies deeper is reported" grep -q "^chronotree: cannot list '$d/d/d/.*': nested too deep for the stack\$" "$work/err"
# The environment lies on the same stack: with 500 KB of it (about what the kernel lets a
# 2 MiB stack take, a quarter) the walk still keeps its reserve below the floor, and
# reports rather than crashes.
big=$(head -c 100000 /dev/zero | tr '\0' x)
env E1="$big" E2="$big" E3="$big" E4="$big" E5="$big" \
  bash -c 'ulimit -Ss 2048 && ulimit -Hs 2048 && exec "$0" -a "$1"' "$program" "$d" \
  >"$work/out" 2>"$work/err"
status=$?
check "500 KB of environment under a 2 MiB stack: no crash, exit 1" [ $status -eq 1 ]
check "500 KB of environment: the depth reached is reported" \
  grep -q "nested too deep for the stack\$" "$work/err"

# A top past PATH_MAX (4,243 bytes), which the system cannot look up by its path, with a
# link inside it to its parent: the link is counted, not entered, and neither the parent
# nor the folder beside the top is written.
long=$(python3 - "$work/longtop" <<'PYTHON'
import os, sys
base = sys.argv[1]
os.makedirs(base)
fd, path = os.open(base, os.O_RDONLY), base
while len(path) < 4243 - 210:
    os.mkdir("n" * 200, dir_fd=fd)
    below = os.open("n" * 200, os.O_RDONLY, dir_fd=fd)
    os.close(fd)
    fd, path = below, path + "/" + "n" * 200
for name in ("top", "top/a", "beside"):
    os.mkdir(name, dir_fd=fd)
for name, when in (("top/a/f", 1e9), ("beside/g", 1.1e9)):
    os.close(os.open(name, os.O_CREAT | os.O_WRONLY, 0o644, dir_fd=fd))
    os.utime(name, (when, when), dir_fd=fd)
os.symlink("..", "top/up", dir_fd=fd)
for name in ("beside", "top", "."):
    os.utime(name, (5, 5), dir_fd=fd)
print(path)
PYTHON
)
run -a -v "$long/top"
check "a top past PATH_MAX: the link to its parent counted, not entered" \
  [ "$?:$(tail -n 1 "$work/out")" = "0:Folder dates changed: 1 out of 2" ]
times_at() { # the times of the parent, the top and the folder beside it, read from inside
  python3 - "$work/longtop" "${long#"$work/longtop/"}" <<'PYTHON'
import os, sys
fd = os.open(sys.argv[1], os.O_RDONLY)
for name in sys.argv[2].split("/"):
    below = os.open(name, os.O_RDONLY, dir_fd=fd)
    os.close(fd)
    fd = below
print(*(int(os.stat(name, dir_fd=fd).st_mtime) for name in (".", "top", "beside")))
PYTHON
}
check "a top past PATH_MAX: its parent, itself and the folder beside it untouched" \
  [ "$(times_at)" = "5 5 5" ]

finish
