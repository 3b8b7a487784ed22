#!/usr/bin/env bash
# Times the program on a share that waits on every request: bench/slow_fs.py, a FUSE
# passthrough that adds a fixed delay to each request, serves requests concurrently and
# counts them by kind, mounted afresh (a cold client cache) for every run. The tree has
# 5,000 folders and 50,000 files. Prints, for each delay, the Linux command at -j 1 and at
# its default (64 threads on such a share), a plain parallel walk doing the same job
# (bench/parallel_walk.c) at as many threads, and the requests a folder; then the 64-bit Windows
# program under Wine at 1 ms, on the share mapped as a network drive, at -j 1, at its
# default and at -j 64.
# Checks that every run, the parallel walk's too, leaves the same folder times.
# usage: bench/slow_share.sh [RUNS] [DELAYS...]   (default: 3 runs; 0 0.5 1 5 ms)
set -eu
cd "$(dirname "$0")/.."
runs=${1:-3}
shift || true
delays=("$@")
[ ${#delays[@]} -gt 0 ] || delays=(0 0.5 1 5)
for package in fuse3 python3-pyfuse3; do
  dpkg -s "$package" >/dev/null 2>&1 || apt-get install -y -q "$package" >/dev/null
done
cmake --preset host >/dev/null && cmake --build --preset host --target chronotree >/dev/null
work=$PWD/build/slow_share && mkdir -p "$work"
cc -O2 -Wall -Wextra -Werror -pthread -o "$work/parallel_walk" bench/parallel_walk.c
ours=$PWD/build/host/chronotree
back=$work/back mnt=$work/mnt folders=5000
mkdir -p "$mnt"
if [ ! -e "$work/tree.done" ]; then
  rm -rf "$back" && mkdir -p "$back"
  python3 bench/make_tree.py "$back/t" wide "$folders" 50000 && touch "$work/tree.done"
fi

reset_times() { # every folder back to one time, so that each run has everything to write
  find "$back/t" -type d -exec touch -h -d '2001-01-01 00:00:00' {} +
}
folder_times() { (cd "$back/t" && find . -type d -printf '%p %T@\n' | sort); }
mount_share() { # mount_share DELAY_MS
  /usr/bin/python3 bench/slow_fs.py "$back" "$mnt" "$1" "$work/counts.json" \
    >"$work/fs.log" 2>&1 &
  for _ in $(seq 100); do mountpoint -q "$mnt" && return; sleep 0.1; done
  echo "the share did not mount:" >&2 && cat "$work/fs.log" >&2 && exit 1
}
unmount_share() {
  fusermount3 -u "$mnt"
  for _ in $(seq 100); do [ -s "$work/counts.json" ] && return; sleep 0.1; done
}
requests() { # the requests a folder of the last run, waited on and all
  /usr/bin/python3 -c 'import json,sys
c=json.load(open(sys.argv[1])); n=int(sys.argv[2])
print("%.1f" % (sum(c.values())/n))' "$work/counts.json" "$((folders + 1))"
}
# run_once DELAY CHECK COMMAND...: prints seconds; with CHECK the folder times must match
# the first run's.
run_once() {
  local delay=$1 check=$2 start end
  shift 2
  reset_times
  rm -f "$work/counts.json"
  mount_share "$delay"
  start=$(date +%s%N)
  "$@" >/dev/null
  end=$(date +%s%N)
  unmount_share
  if [ "$check" = check ]; then
    folder_times >"$work/times.now"
    if [ -e "$work/times.first" ]; then
      cmp -s "$work/times.first" "$work/times.now" || { echo "folder times differ: $*" >&2; exit 1; }
    else
      mv "$work/times.now" "$work/times.first"
    fi
  fi
  echo "scale=2; ($end - $start) / 1000000000" | bc
}
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
measure() { # measure DELAY CHECK COMMAND...: "median requests"
  local times=() last
  for _ in $(seq "$runs"); do times+=("$(run_once "$@")"); done
  last=$(requests)
  echo "$(printf '%s\n' "${times[@]}" | median) $last"
}

rm -f "$work/times.first"
printf '%-8s %-22s %-22s %-22s\n' "delay" "-j 1 (s, req/folder)" "default" "parallel walk, 64"
for delay in "${delays[@]}"; do
  one=$(measure "$delay" check "$ours" -a -s -j 1 "$mnt/t")
  default=$(measure "$delay" check "$ours" -a -s "$mnt/t")
  walk=$(measure "$delay" check "$work/parallel_walk" 64 "$mnt/t")
  printf '%-8s %-22s %-22s %-22s\n' "${delay} ms" "$one" "$default" "$walk"
done

if [ "${SLOW_SHARE_WINE:-1}" = 1 ]; then
  source tests/system/lib.sh
  cmake --preset win64 >/dev/null && cmake --build --preset win64 --target chronotree >/dev/null
  mkdir -p "$work/wine" && wine_start "$work/wine"
  exe=$PWD/build/win64/chronotree.exe
  # The share is a network drive, S:, so that the default is what a share gets.
  wine_network_drive s "$mnt"
  printf '%-8s %-22s %-22s %-22s\n' "Wine" "-j 1 (s, req/folder)" "default" "-j 64"
  wine_one=$(measure 1 check /usr/lib/wine/wine64 "$exe" -a -s -j 1 'S:\t')
  wine_default=$(measure 1 check /usr/lib/wine/wine64 "$exe" -a -s 'S:\t')
  wine_many=$(measure 1 check /usr/lib/wine/wine64 "$exe" -a -s -j 64 'S:\t')
  printf '%-8s %-22s %-22s %-22s\n' "1 ms" "$wine_one" "$wine_default" "$wine_many"
fi
