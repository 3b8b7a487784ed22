#!/usr/bin/env bash
# What --watch costs on Linux, in the numbers the README gives:
# - listings a change: one file written at the bottom of a 5,000-folder tree (depth 4), the
#   listings the watch reads counted with strace (getdents64 calls that reach the end);
# - processor time idle: user and system time of a watch of 10,000 folders over 60 s with
#   nothing changing (from /proc/PID/stat);
# - memory a folder: peak resident memory (VmHWM) of a watch of 100,000 folders, less that
#   of a plain run over the same tree, over the folders;
# - growth: resident memory of a watch of 10,000 folders after 100 rounds of changes and
#   after 10,000 more (a file made or removed, a folder made or removed, each round).
# usage: bench/watch.sh [IDLE_SECONDS]   (default 60)
set -eu
cd "$(dirname "$0")/.."
idle=${1:-60}
dpkg -s strace >/dev/null 2>&1 || apt-get install -y -q strace >/dev/null
cmake --preset host >/dev/null && cmake --build --preset host --target chronotree >/dev/null
ours=$PWD/build/host/chronotree
work=$PWD/build/watch_bench && rm -rf "$work" && mkdir -p "$work"

tree() { # tree DIR FOLDERS: FOLDERS folders, 10 to a folder, a file in each
  python3 - "$1" "$2" <<'PY'
import os, sys
top, count = sys.argv[1], int(sys.argv[2])
paths = [top]
for i in range(count):
    path = os.path.join(paths[i // 10], "d%d" % i)
    os.makedirs(path)
    paths.append(path)
    with open(os.path.join(path, "f"), "w"):
        pass
    os.utime(os.path.join(path, "f"), (1e9 + i, 1e9 + i))
PY
}

cpu() { awk '{print $14 + $15}' "/proc/$1/stat"; } # clock ticks, user and system

start_watch() { # start_watch TREE: the watch's pid once its first walk is over (its
  # processor time stands still for a second)
  "$ours" -a -s --watch --settle=0 "$1" >"$work/watch.out" 2>&1 &
  watcher=$!
  local last=-1 now
  while now=$(cpu "$watcher") && [ "$now" != "$last" ]; do
    last=$now
    sleep 1
  done
}
stop_watch() { kill -INT "$watcher"; wait "$watcher" || true; }

tree "$work/t5k" 5000
start_watch "$work/t5k"
deep=$(find "$work/t5k" -mindepth 4 -type d | head -1)
depth=$(($(echo "${deep#"$work"/t5k}" | tr -cd / | wc -c)))
strace -f -p "$watcher" -e trace=getdents64 -o "$work/strace.out" &
tracer=$!
sleep 1
touch -d "2030-01-01" "$deep/written"
sleep 2
kill "$tracer"; wait "$tracer" 2>/dev/null || true
stop_watch
listings=$(grep -c "= 0$" "$work/strace.out" || true)
echo "one file written at depth $depth of 5,000 folders: $listings listings read" \
  "(at most depth + 2 = $((depth + 2)))"

tree "$work/t10k" 10000
start_watch "$work/t10k"
before=$(cpu "$watcher")
sleep "$idle"
after=$(cpu "$watcher")
stop_watch
echo "idle watch of 10,000 folders for $idle s: $(((after - before) * 1000 / $(getconf CLK_TCK))) ms" \
  "of processor time"

start_watch "$work/t10k"
rounds() { # rounds FIRST COUNT: one change a round, each waited for until the watch has set
  # it; each round's file is a second newer than the last round's
  python3 - "$(find "$work/t10k" -type d -name d55)" "$1" "$2" <<'PY'
import os, sys, time
folder, first, count = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
for i in range(first, first + count):
    path = os.path.join(folder, "r%d" % (i % 4))
    stamp = 1.5e9 + i
    if i % 4 == 3:
        os.makedirs(path, exist_ok=True)
        path = os.path.join(path, "f")
    with open(path, "w"):
        pass
    os.utime(path, (stamp, stamp))
    while int(os.stat(folder).st_mtime) != int(stamp):
        time.sleep(0.0002)
PY
}
rounds 0 100
early=$(awk '/VmRSS/ {print $2}' "/proc/$watcher/status")
rounds 100 10000
late=$(awk '/VmRSS/ {print $2}' "/proc/$watcher/status")
stop_watch
echo "watch of 10,000 folders: $early KB resident after 100 rounds, $late KB after 10,100"

tree "$work/t100k" 100000
/usr/bin/time -f "%M" -o "$work/plain.kb" "$ours" -a -s "$work/t100k"
start_watch "$work/t100k"
watched=$(awk '/VmHWM/ {print $2}' "/proc/$watcher/status")
stop_watch
plain=$(cat "$work/plain.kb")
echo "watch of 100,000 folders: peak $watched KB against $plain KB for a plain run:" \
  "$(((watched - plain) * 1024 / 100000)) bytes a folder"
