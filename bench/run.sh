#!/usr/bin/env bash
# Times the Linux command (-a -s) against the one-pass floor in bench/floor.c on three
# trees: 10,000 folders with 100,000 files, one folder of 200,000 files, and a chain 1,500
# folders deep. Runs alternate after a warm-up; prints the median ratio of our time to the
# floor's measured in the same run, the system calls of each per folder and per file, and
# peak memory, also for one folder of 1,000,000 files (within the 4 MiB listing budget).
# Then the 64-bit Windows program against its own one-pass floor (bench/floor_windows.c)
# under Wine on the 10,000-folder tree, by processor time: the program's and Wine's
# server's, which does much of the work of every file call; and what following a walk in
# the window costs (bench/window_cost.cpp).
# usage: bench/run.sh [RUNS]
set -eu
cd "$(dirname "$0")/.."
runs=${1:-11}
bash scripts/install-dependencies.sh
for tool in strace time; do
  dpkg -s "$tool" >/dev/null 2>&1 || apt-get install -y -q "$tool" >/dev/null
done
cmake --preset host >/dev/null && cmake --build --preset host --target chronotree >/dev/null
work=build/bench && mkdir -p "$work"
cc -O2 -Wall -Wextra -Werror -o "$work/floor" bench/floor.c
ours=build/host/chronotree floor=$work/floor

make_once() { # make_once NAME ARGS...: trees are kept between runs of this script
  [ -e "$work/$1.done" ] && return
  rm -rf "$work/$1" && python3 bench/make_tree.py "$work/$1" "${@:2}" && touch "$work/$1.done"
}
make_once wide wide 10000 100000
make_once small wide 1000 10000
make_once flat flat 200000
make_once deep deep 1500
make_once million flat 1000000

seconds() { # seconds PROGRAM ARGS...
  local start end
  # Both programs write the folders; a folder written within a clock tick of being read is
  # read twice by ours (it cannot tell such a change from none), so runs are kept apart.
  sleep 0.05
  start=$(date +%s%N)
  "$@" >/dev/null
  end=$(date +%s%N)
  echo $(((end - start) / 1000))
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

compare() { # compare NAME FOLDERS FILES
  local tree=$work/$1 i ratios=() ourTimes=() floorTimes=()
  "$ours" -a -s "$tree" && "$floor" "$tree" # warm-up
  for i in $(seq "$runs"); do
    ourTimes+=("$(seconds "$ours" -a -s "$tree")")
    floorTimes+=("$(seconds "$floor" "$tree")")
  done
  local ourMedian floorMedian
  ourMedian=$(printf '%s\n' "${ourTimes[@]}" | median)
  floorMedian=$(printf '%s\n' "${floorTimes[@]}" | median)
  printf '%-6s ours %8d us  floor %8d us  ratio %s\n' "$1" "$ourMedian" "$floorMedian" \
    "$(awk -v a="$ourMedian" -v b="$floorMedian" 'BEGIN {printf "%.3f", a / b}')"
  for who in ours floor; do
    if [ $who = ours ]; then program=("$ours" -a -s "$tree"); else program=("$floor" "$tree"); fi
    strace -c -f -o "$work/$1-$who.strace" "${program[@]}"
    awk -v who=$who -v folders="$2" -v files="$3" '
      $NF ~ /^(newfstatat|getdents64|openat|close|utimensat|statx|fstat)$/ {
        calls = ($4 ~ /^[0-9]+$/) ? $4 : $3; total += calls; list = list " " $NF "=" calls }
      END { printf "       %-5s calls:%s (%.2f a folder, %.2f a file)\n", who, list,
            total / folders, total / (files ? files : 1) }' "$work/$1-$who.strace"
  done
}

compare wide 10000 100000
compare flat 1 200000
compare deep 1500 1500
peak() { /usr/bin/time -f %M "$1" "${@:2}" 2>&1 >/dev/null | tail -1; }
for tree in small wide flat million deep; do
  printf 'peak resident size, %-7s ours %7d KiB  floor %7d KiB\n' "$tree" \
    "$(peak "$ours" -a -s "$work/$tree")" "$(peak "$floor" "$work/$tree")"
done

# The Windows program under Wine, against the Windows floor: the processor time of the
# process and of the server it talks to, the median over alternating pairs.
cmake --preset win64 >/dev/null && cmake --build --preset win64 --target chronotree >/dev/null
x86_64-w64-mingw32-gcc -municode -O2 -Wall -Wextra -Werror -static \
  -o "$work/floor_windows.exe" bench/floor_windows.c
export WINEPREFIX=$PWD/$work/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=:89
Xvfb :89 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 & # the window's walk needs one
xvfb=$!
sleep 1
[ -d "$WINEPREFIX" ] || /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
/usr/lib/wine/wineserver -k 2>/dev/null || true
/usr/lib/wine/wineserver -p
/usr/lib/wine/wine64 cmd /c exit >/dev/null 2>&1
server=$(pgrep -n -f wineserver)
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
cpu_ms() { # cpu_ms PROGRAM ARGS...: processor milliseconds of the run and of the server
  local before after
  before=$(ticks "$server")
  /usr/bin/time -f '%U %S' -o "$work/time.txt" /usr/lib/wine/wine64 "$@" >/dev/null 2>&1
  after=$(ticks "$server")
  awk -v s=$((after - before)) -v hz="$(getconf CLK_TCK)" \
    '{printf "%d", ($1 + $2) * 1000 + s * 1000 / hz}' "$work/time.txt"
}
tree=$(printf 'Z:%s' "$(cd "$work/wide" && pwd | tr / '\\')")
cpu_ms build/win64/chronotree.exe -a -s "$tree" >/dev/null # warm-up
ourTimes=() floorTimes=() ratios=()
for i in $(seq "$runs"); do
  ours_ms=$(cpu_ms build/win64/chronotree.exe -a -s "$tree")
  floor_ms=$(cpu_ms "$work/floor_windows.exe" "$tree")
  ourTimes+=("$ours_ms") floorTimes+=("$floor_ms")
  ratios+=("$(awk -v a="$ours_ms" -v b="$floor_ms" 'BEGIN {printf "%.3f", a / b}')")
done
# The same walk from the window, following it (messages and progress) and not.
cmake --build --preset win64 --target window_cost >/dev/null
/usr/lib/wine/wine64 build/win64/tests/window_cost.exe "$tree" "$runs" >"$work/window_cost.txt" 2>&1
/usr/lib/wine/wineserver -k
kill "$xvfb"
cat "$work/window_cost.txt"
printf 'wine   ours %8d ms  floor %8d ms  ratio %s (processor time, medians)\n' \
  "$(printf '%s\n' "${ourTimes[@]}" | median)" "$(printf '%s\n' "${floorTimes[@]}" | median)" \
  "$(printf '%s\n' "${ratios[@]}" | median)"
