#!/usr/bin/env python3
"""Checks every folder below ROOT against the newest file time in its subtree, to 100 ns.
usage: folder_times.py ROOT all|set-or-untouched UNTOUCHED_NS
all: every folder that holds a file below it carries that time; set-or-untouched: each
carries that time or still UNTOUCHED_NS, and at least one of each is found.
Prints how many folders were set and how many untouched; exits 1 on any other."""
import os
import sys


def newest_below(folder, report):
    newest = None
    with os.scandir(folder) as entries:
        for entry in entries:
            if entry.is_dir(follow_symlinks=False):
                found = newest_below(entry.path, report)
            else:
                found = entry.stat(follow_symlinks=False).st_mtime_ns // 100 * 100
            if found is not None and (newest is None or found > newest):
                newest = found
    report.append((folder, newest))
    return newest


def main():
    root, mode, untouched = sys.argv[1], sys.argv[2], int(sys.argv[3])
    report = []
    newest_below(root, report)
    counts = {"set": 0, "untouched": 0, "wrong": 0}
    for folder, newest in report:
        if folder == root or newest is None:
            continue
        present = os.stat(folder).st_mtime_ns
        if present == newest:
            counts["set"] += 1
        elif present == untouched and mode != "all":
            counts["untouched"] += 1
        else:
            counts["wrong"] += 1
            print("wrong: %s has %d, not %d" % (folder, present, newest))
    print("%(set)d set, %(untouched)d untouched, %(wrong)d wrong" % counts)
    if mode != "all" and (counts["set"] == 0 or counts["untouched"] == 0):
        return 1
    return 1 if counts["wrong"] else 0


if __name__ == "__main__":
    sys.exit(main())
