#!/usr/bin/env bash
# The Linux command at -j 1 and at -j 8 on the same trees: every folder time, the -v lines,
# the counts and the exit status must agree; with failures, excluded names, links and a
# folder of many files among them. Then Ctrl-C with writes queued: every folder is either
# right or untouched.
# usage: thread_runs.sh PROGRAM WORKDIR
set -u
program=$(realpath "$1") work=$2
. "$(dirname "$0")/lib.sh"
rm -rf "$work" && mkdir -p "$work"
bench=$(dirname "$0")/../../bench

# make_mixed ROOT: a wide tree with links, names left out by -i and --exclude, a folder
# that cannot be listed and one that cannot be written (when not root), and a wide folder.
make_mixed() {
  local root=$1
  python3 "$bench/make_tree.py" "$root" wide 400 3000 >/dev/null
  mkdir -p "$root/d1/.Trash-0" "$root/d2/skip.me" "$root/d3/wide"
  make_file "$root/d1/.Trash-0/new" "2030-01-01 00:00:00"
  make_file "$root/d2/skip.me/new" "2030-01-01 00:00:00"
  for i in $(seq 600); do : >"$root/d3/wide/f$i"; done
  touch -d "2015-05-05 05:05:05.5" "$root"/d3/wide/f*
  ln -s ../d4 "$root/d5/to-d4"
  ln -s ../../d6 "$root/d7/d0/loop-up"
  mkdir -p "$root/d8/closed/inside" && make_file "$root/d8/closed/inside/f" "2012-01-01 00:00:00"
  find "$root" -type d -exec touch -h -d "2001-01-01" {} +
  chmod 000 "$root/d8/closed"
}
# same_lines FILE1 FILE2: equal, or the difference shown (each option's files are made anew).
same_lines() { cmp -s "$1" "$2" || ! diff "$1" "$2" | head -20; }
folder_times() { (cd "$1" && find . -type d -printf '%p %T@\n' 2>/dev/null | sort); }
# run_at JOBS ROOT ARGS...: the run's lines with the root taken out, and its status last.
run_at() {
  local jobs=$1 root=$2
  shift 2
  "$program" -a -j "$jobs" "$@" "$root" >"$work/out.$jobs" 2>"$work/err.$jobs"
  echo "status $?" >>"$work/out.$jobs"
  sed -i "s#$root#ROOT#g" "$work/out.$jobs" "$work/err.$jobs"
}

for options in "-v" "-v -i --exclude=skip.*" "-n -v" "-v --top --no-links" "-s"; do
  for jobs in 1 8; do
    rm -rf "$work/t$jobs" && make_mixed "$work/t$jobs"
    # shellcheck disable=SC2086 # the options are words
    run_at "$jobs" "$work/t$jobs" $options
    chmod 755 "$work/t$jobs/d8/closed"
    folder_times "$work/t$jobs" >"$work/times.$jobs"
  done
  check "$options: the same folder times at -j 1 and -j 8" cmp -s "$work/times.1" "$work/times.8"
  check "$options: the same lines, in the same order" same_lines "$work/out.1" "$work/out.8"
  check "$options: the same problems, in the same order" same_lines "$work/err.1" "$work/err.8"
  [ "$options" = -s ] || check "$options: something was walked" grep -q "out of [1-9]" "$work/out.1"
done

# A list made at -j 8 restores at -j 8 to the times before the run.
rm -rf "$work/r" && make_mixed "$work/r" && chmod 755 "$work/r/d8/closed"
folder_times "$work/r" >"$work/before"
"$program" -a -s -v -j 8 "$work/r" >"$work/list" 2>/dev/null
"$program" -s -j 8 -r "$work/list" >/dev/null 2>&1
check "a restore at -j 8 gives back every time" cmp -s "$work/before" <(folder_times "$work/r")

# Write failures behind the walk are reported and counted as at -j 1, in the walk's order
# among the other problems: folders the walk may list but not write (owned by another user,
# made by root), alone ("alone": the last writes of the walk are such folders, and its end
# must wait for every one of them) and each beside a folder that cannot be listed ("mixed").
if [ "$(id -u)" = 0 ] && id nobody >/dev/null 2>&1; then
  for tree in alone mixed; do
    for jobs in 1 8; do
      w=$work/$tree$jobs && rm -rf "$w" && mkdir -p "$w"
      for i in $(seq 20); do
        mkdir -p "$w/a$i/mine" "$w/a$i/theirs"
        make_file "$w/a$i/mine/f" "2011-01-01 00:00:00"
        make_file "$w/a$i/theirs/f" "2012-01-01 00:00:00"
        [ "$tree" = alone ] || mkdir -p "$w/a$i/closed"
      done
      chown -R nobody "$w"
      chown root "$w"/a*/theirs "$w"/a*/closed 2>/dev/null
      [ "$tree" = mixed ] || chown root "$w"/a*
      chmod 755 "$w"/a* "$w"/a*/theirs
      [ "$tree" = alone ] || chmod 000 "$w"/a*/closed
      setpriv --reuid=nobody --regid=nogroup --clear-groups \
        "$program" -a -j "$jobs" "$w" >"$w.out" 2>"$w.err"
      echo "status $?" >>"$w.out"
      sed -i "s#$w#ROOT#g" "$w.out" "$w.err"
    done
    check "$tree: folders that cannot be set, behind: the same summary and status" \
      same_lines "$work/${tree}1.out" "$work/${tree}8.out"
    check "$tree: the same problems, in the walk's order" \
      same_lines "$work/${tree}1.err" "$work/${tree}8.err"
    check "$tree: each folder that cannot be set is reported" \
      [ "$(grep -c "cannot set" "$work/${tree}8.err")" -eq "$([ "$tree" = alone ] && echo 40 || echo 20)" ]
  done
fi

# Ctrl-C with writes queued: the run ends at once, and each folder has either its old time
# or the one the whole walk gives it (a write is one system call).
python3 "$bench/make_tree.py" "$work/big" wide 3000 30000 >/dev/null
find "$work/big" -type d -exec touch -h -d "2001-01-01" {} +
cp -a "$work/big" "$work/whole"
"$program" -a -s -j 1 "$work/whole" >/dev/null
folder_times "$work/whole" >"$work/whole.times"
# From Python: a job this shell starts in the background would ignore SIGINT. Its -v lines
# go to a pipe nobody reads past the first, so the walk blocks once the pipe is full, long
# before its end however fast the machine; the signal goes once that first folder is set.
python3 -c 'import os, signal, subprocess, sys, time
run = subprocess.Popen(sys.argv[1:], stdout=subprocess.PIPE)
first = run.stdout.readline().decode().rstrip("\n").split("\t")[-1]
deadline = time.monotonic() + 60
while os.stat(first).st_mtime == 978307200 and time.monotonic() < deadline:
    time.sleep(0.005)
running = run.poll() is None
run.send_signal(signal.SIGINT)
sys.exit(1 if running and run.wait() == -signal.SIGINT else 0)' "$program" -a -v -j 8 "$work/big"
check "Ctrl-C: the run stops there" [ $? -eq 1 ]
folder_times "$work/big" >"$work/big.times"
check "Ctrl-C: every folder right or untouched, and some of each" \
  python3 - "$work/whole.times" "$work/big.times" <<'PY'
import sys
whole = dict(line.split() for line in open(sys.argv[1]))
now = dict(line.split() for line in open(sys.argv[2]))
untouched = [p for p, t in now.items() if t != whole[p] and float(t) == 978307200.0]
wrong = [p for p, t in now.items() if t != whole[p] and float(t) != 978307200.0]
print("wrong:", wrong[:5], "untouched:", len(untouched), "of", len(now))
sys.exit(1 if wrong or now.keys() != whole.keys() or not untouched or
         len(untouched) == len(now) - 1 else 0)
PY
finish
