# Shared by the suites that count a share's requests: a tree of 120 folders served by the
# bench's delaying file system (bench/slow_fs.py, FUSE, no delay), every request counted.
# Needs lib.sh first.

share_fs=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../bench" && pwd)/slow_fs.py
can_share() { [ -e /dev/fuse ] && /usr/bin/python3 -c 'import pyfuse3' 2>/dev/null; }

# share_tree WORKDIR: the tree in WORKDIR/back/t, a copy in WORKDIR/plain, share_folders
# the folders a walk of it visits.
share_tree() {
  share_work=$1 share_folders=1
  rm -rf "$share_work" && mkdir -p "$share_work/back" "$share_work/mnt"
  local a b
  for a in $(seq 12); do
    for b in $(seq 9); do
      make_file "$share_work/back/t/a$a/b$b/f" "2010-01-0$((b % 9 + 1)) 10:00:0$a"
      make_file "$share_work/back/t/a$a/b$b/g" "2009-05-05 00:00:00"
      share_folders=$((share_folders + 1))
    done
    make_file "$share_work/back/t/a$a/top_file" "2008-01-01 00:00:00"
    share_folders=$((share_folders + 1))
  done
  share_reset
  cp -a "$share_work/back/t" "$share_work/plain"
}
# Old folder times, so that a listing read ahead may be taken.
share_reset() {
  find "$share_work/back/t" -mindepth 1 -type d -exec touch -d '2001-01-01 00:00:00 UTC' {} +
}
share_times() { # share_times ROOT: every folder's time, sorted
  (cd "$1" && find . -type d -printf '%p %T@\n' | sort)
}

# share_run LABEL MOST_PER_FOLDER EXPECTED_TIMES COMMAND...: the command on the mounted
# tree (share_work/mnt/t), its requests counted; it must leave the expected folder times
# and cost at most MOST_PER_FOLDER requests a folder.
share_run() {
  local label=$1 most=$2 expected=$3 per
  shift 3
  share_reset
  rm -f "$share_work/counts.json"
  /usr/bin/python3 "$share_fs" "$share_work/back" "$share_work/mnt" 0 \
    "$share_work/counts.json" >"$share_work/fs.log" 2>&1 &
  for _ in $(seq 100); do mountpoint -q "$share_work/mnt" && break; sleep 0.1; done
  "$@" >"$share_work/out" 2>&1
  fusermount3 -u "$share_work/mnt"
  for _ in $(seq 100); do [ -s "$share_work/counts.json" ] && break; sleep 0.1; done
  per=$(/usr/bin/python3 -c 'import json,sys
c=json.load(open(sys.argv[1])); print("%.2f" % (sum(c.values()) / int(sys.argv[2])))' \
    "$share_work/counts.json" "$share_folders")
  echo "$label: $per requests a folder ($(tr -d '{}"' <"$share_work/counts.json"))"
  share_times "$share_work/back/t" >"$share_work/got"
  check "$label: the same folder times as a walk of the tree itself" \
    cmp -s "$expected" "$share_work/got"
  check "$label: at most $most requests a folder, not $per" \
    awk -v got="$per" -v most="$most" 'BEGIN { exit !(got <= most) }'
}
