#!/usr/bin/env bash
# --every on the Linux command: the folders walked again each round, writing only what
# differs; a change made between rounds is set by the next one; SIGTERM and Ctrl-C (SIGINT)
# let the round under way finish, and the program ends with its usual status and summary.
# usage: every_rounds.sh PROGRAM WORKDIR
set -u
program=$(realpath "$1") work=$2
. "$(dirname "$0")/lib.sh"
rm -rf "$work" && mkdir -p "$work"

# rounds SIGNAL: runs the command, makes a change after its first round, waits for the
# round that sets it, stops it with SIGNAL; prints its status, and leaves its output in
# out.SIGNAL.
rounds() {
  python3 - "$1" "$program" "$work" <<'PY'
import os, signal, subprocess, sys, time
name, program, work = sys.argv[1:4]
tree = os.path.join(work, "tree")
out = os.path.join(work, "out." + name)
with open(out, "w") as output:
    run = subprocess.Popen([program, "-a", "--every=1", tree], stdout=output,
                           stderr=subprocess.DEVNULL)
    def rounds_seen():
        return sum("Folder dates changed" in line and line[:2] == "20"
                   for line in open(out))
    deadline = time.monotonic() + 20
    while rounds_seen() < 1 and time.monotonic() < deadline:
        time.sleep(0.05)
    new = os.path.join(tree, "A", "B", "new.txt")
    open(new, "w").close()
    os.utime(new, (1700000000, 1700000000))  # 2023-11-14, newer than the tree's files
    target = os.path.join(tree, "A")
    while os.stat(target).st_mtime != 1700000000 and time.monotonic() < deadline:
        time.sleep(0.05)
    run.send_signal(getattr(signal, name))
    try:
        print(run.wait(timeout=20))
    except subprocess.TimeoutExpired:
        run.kill()
        print("still running")
PY
}
for signal in SIGTERM SIGINT; do
  build_tree "$work/tree"
  status=$(rounds "$signal")
  check "$signal: the program ends with status 0" [ "$status" = 0 ]
  check "$signal: the change between rounds was set" \
    has_mtime "$work/tree/A" "$(epoch "2023-11-14 22:13:20")"
  check "$signal: a round writes only what differs" \
    grep -qE "^20[0-9-]+ [0-9:]+ Folder dates changed: 0 out of 10$" "$work/out.$signal"
  check "$signal: the change's round set it and its parent" \
    grep -qE "^20[0-9-]+ [0-9:]+ Folder dates changed: 2 out of 10$" "$work/out.$signal"
  check "$signal: the summary last" \
    grep -qx "Folder dates changed: [02] out of 10" <(tail -n 1 "$work/out.$signal")
done
finish
