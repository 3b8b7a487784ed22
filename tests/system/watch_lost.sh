#!/usr/bin/env bash
# --watch when inotify loses changes or cannot watch the whole tree: the kernel's queue made
# tiny, then the watch limit made too low for the tree (each lowered, as root, only while
# the watch starts, and put back). Both must say so once on standard error and still end
# with every folder right, as a fresh dry run finds it.
# usage: watch_lost.sh PROGRAM WORKDIR
set -u
program=$(realpath "$1") work=$2
. "$(dirname "$0")/lib.sh"
if [ "$(id -u)" != 0 ]; then
  echo "skipped: lowering the inotify limits needs root"
  exit 77
fi
rm -rf "$work" && mkdir -p "$work"
queue=/proc/sys/fs/inotify/max_queued_events
watches=/proc/sys/fs/inotify/max_user_watches
old_queue=$(cat $queue) old_watches=$(cat $watches)
restore_limits() { echo "$old_queue" >$queue; echo "$old_watches" >$watches; }
trap restore_limits EXIT

make_tree() { # 40 folders, a file in each
  rm -rf "$1"
  for i in $(seq 40); do
    mkdir -p "$1/f$((i % 5))/g$i"
    touch -d "2019-01-0$((i % 9 + 1)) 10:00:00" "$1/f$((i % 5))/g$i/file"
  done
}

# watch NAME SETTING VALUE ARGS...: starts the watch with the limit lowered until the first
# walk is over (its first line), then puts the limit back.
watch() {
  local name=$1 setting=$2 value=$3
  shift 3
  echo "$value" >"$setting"
  "$program" -a --settle=1 "$@" "$work/$name" >"$work/$name.out" 2>"$work/$name.err" &
  watcher=$!
  sleep 1.5
  restore_limits
}

stop_and_check() { # stop_and_check NAME
  kill -INT "$watcher"
  wait "$watcher"
  check "$1: the watch ends with status 0" [ $? -eq 0 ]
  "$program" -a -n -v "$work/$1" >"$work/$1.check" 2>&1
  check "$1: every folder is right, as a fresh run finds it" \
    [ -z "$(grep -P '\t' "$work/$1.check")" ]
}

# The queue overflows: 128 events at most (the first walk's own 45 writes, two events each,
# fit), then 400 files made while the watch is held still (SIGSTOP), so that it cannot read
# them as they come.
make_tree "$work/queue"
watch queue $queue 128 --watch
kill -STOP "$watcher"
for i in $(seq 400); do
  g=$((i % 40 + 1))
  : >"$work/queue/f$((g % 5))/g$g/new$i"
done
kill -CONT "$watcher"
sleep 4
stop_and_check queue
check "queue: the loss is said once" [ "$(grep -c "changes were lost" "$work/queue.err")" = 1 ]
check "queue: and the tree walked whole again, every folder set" \
  grep -q "Folder dates changed: 45 out of 45" "$work/queue.out"

# Too few watches for the tree: said, with the setting and the number needed, then walked
# every --every seconds.
make_tree "$work/limit"
in_use=$(find /proc/*/fdinfo -type f -exec grep -h '^inotify' {} + 2>/dev/null | wc -l)
watch limit $watches $((in_use + 10)) --watch --every=1
touch -d "2023-04-04 10:00:00" "$work/limit/f2/g7/later"
sleep 3
stop_and_check limit
check "limit: the setting and the folders needed are named" \
  grep -q "fs.inotify.max_user_watches .*the tree needs 46: walking it whole every 1 seconds" \
  "$work/limit.err"
check "limit: a round sets the change" has_mtime "$work/limit/f2/g7" "$(epoch "2023-04-04 10:00:00")"
finish
