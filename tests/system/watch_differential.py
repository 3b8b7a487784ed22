#!/usr/bin/env python3
"""--watch against a fresh run: a random tree is watched while bursts of random changes of
every kind are made to it; once each burst has settled, a dry run (-a -n -v) must find no
folder to change. At the end the watch's own -v list, taken back with -r, must put every
folder the watch set back to the time it had before the watch began.

usage: watch_differential.py WORKDIR SEED [--without=KIND,...] PROGRAM [ARG...]
PROGRAM [ARG...] runs the command (a Wine loader and the .exe for a Windows program, whose
paths are then given as Z:\\...)."""
import os
import random
import shutil
import signal
import subprocess
import sys
import time

work, seed, program = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
without = set()
if program[0].startswith("--without="):
    without = set(program[0][len("--without="):].split(","))
    program = program[1:]
windows = program[-1].lower().endswith(".exe")
SETTLE = 1
rng = random.Random(seed)
failures = []


def spell(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\") if windows else path


def run(args, out):
    with open(out, "w") as output, open(out + ".err", "w") as errors:
        return subprocess.run(program + args, stdout=output, stderr=errors, timeout=600).returncode


def old_time():
    return rng.randrange(1_000_000_000, 1_600_000_000) + rng.randrange(10**7) / 10**7


def folders_of(top):
    found = []
    for root, dirs, _ in os.walk(top):
        found += [os.path.join(root, d) for d in dirs if not os.path.islink(os.path.join(root, d))]
    return found


def files_of(top):
    found = []
    for root, _, files in os.walk(top):
        found += [os.path.join(root, f) for f in files if not os.path.islink(os.path.join(root, f))]
    return found


def new_file(folder):
    path = os.path.join(folder, "f%d.txt" % rng.randrange(10**6))
    with open(path, "w") as f:
        f.write("x")
    t = old_time()
    os.utime(path, (t, t))


def new_folder(parent, depth=2):
    path = os.path.join(parent, "d%d" % rng.randrange(10**6))
    os.mkdir(path)
    for _ in range(rng.randrange(3)):
        new_file(path)
    if depth > 0 and rng.random() < 0.5:
        new_folder(path, depth - 1)
    return path


last_path = [""]


def change(top):
    """One random change of one of the kinds a watch must follow."""
    last_path[0] = ""
    folders = [top] + folders_of(top)
    files = files_of(top)
    kind = rng.choice(["create", "create", "write", "delete", "rename", "move", "touch back",
                       "new folder", "new folder", "remove folder", "move folder", "link",
                       "unlink"])
    while kind in without:
        kind = rng.choice(["create", "write", "delete", "new folder"])
    if kind == "create" or (not files and kind in ("write", "delete", "rename", "move",
                                                   "touch back")):
        last_path[0] = rng.choice(folders)
        new_file(last_path[0])
    elif kind == "write":
        last_path[0] = rng.choice(files)
        with open(last_path[0], "a") as f:
            f.write("more")
    elif kind == "delete":
        last_path[0] = rng.choice(files)
        os.remove(last_path[0])
    elif kind == "rename":
        path = last_path[0] = rng.choice(files)
        os.rename(path, path + ".renamed")
    elif kind == "move":
        path = last_path[0] = rng.choice(files)
        os.rename(path, os.path.join(rng.choice(folders), "moved%d" % rng.randrange(10**6)))
    elif kind == "touch back":
        t = old_time()
        last_path[0] = rng.choice(files)
        os.utime(last_path[0], (t, t))
    elif kind == "new folder":
        last_path[0] = rng.choice(folders)
        new_folder(last_path[0])
    elif kind == "remove folder" and len(folders) > 3:
        last_path[0] = rng.choice(folders[1:])
        shutil.rmtree(last_path[0])
    elif kind == "move folder" and len(folders) > 3:
        source = rng.choice(folders[1:])
        targets = [f for f in folders if not (f + "/").startswith(source + "/")]
        os.rename(source, os.path.join(rng.choice(targets), "m%d" % rng.randrange(10**6)))
    elif kind == "link" and not windows and len(folders) > 2:
        target = rng.choice(folders[1:])
        os.symlink(os.path.abspath(target),
                   os.path.join(rng.choice(folders), "link%d" % rng.randrange(10**6)))
    elif kind == "unlink":
        links = [os.path.join(r, d) for r, ds, fs in os.walk(top) for d in ds + fs
                 if os.path.islink(os.path.join(r, d))]
        if links:
            os.remove(rng.choice(links))
    return kind


def times(top):
    return {f: os.stat(f).st_mtime_ns for f in folders_of(top)}


shutil.rmtree(work, ignore_errors=True)
top = os.path.join(work, "top")
os.makedirs(top)
for _ in range(12):
    new_folder(rng.choice([top] + folders_of(top)))
for _ in range(30):
    new_file(rng.choice([top] + folders_of(top)))
before = times(top)

listing = os.path.join(work, "watch.list")
with open(listing, "w") as output, open(listing + ".err", "w") as errors:
    watcher = subprocess.Popen(program + ["-a", "-s", "-v", "--watch", "--settle=%d" % SETTLE,
                                          spell(top)], stdout=output, stderr=errors)
time.sleep(2 + SETTLE)  # the first walk
kinds = {}
journal = open(os.path.join(work, "changes.log"), "w", buffering=1)
for burst in range(10):
    for _ in range(20):
        kind = change(top)
        kinds[kind] = kinds.get(kind, 0) + 1
        journal.write("burst %d: %s -> %s\n" % (burst, kind, last_path[0]))
        time.sleep(rng.choice([0, 0, 0.01, 0.1]))
    time.sleep(SETTLE + (6 if windows else 2.5))  # a round under Wine takes longer
    check = os.path.join(work, "check%d" % burst)
    run(["-a", "-s", "-n", "-v", spell(top)], check)
    left = "".join(line for line in open(check) if "\t" in line)
    if left:
        failures.append("burst %d: a fresh run would still change:\n%s" % (burst, left))
watcher.send_signal(signal.SIGINT)
try:
    status = watcher.wait(timeout=60)
except subprocess.TimeoutExpired:
    watcher.kill()
    status = "still running"
if not windows and status != 0:
    failures.append("the watch ended with %s, not 0" % status)
errors = open(listing + ".err").read()
if "cannot" in errors:
    failures.append("the watch reported problems:\n" + errors)

# Taken back: every folder the watch set that is still there has its time from before.
restore = os.path.join(work, "restore")
run(["-s", "-r", spell(listing)], restore)
after = times(top)
set_by_watch = {line.split("\t")[2].rstrip("\r\n") for line in open(listing)
                if line.count("\t") >= 2}
checked = 0
for folder, time_before in before.items():
    if spell(folder) in set_by_watch and folder in after:
        checked += 1
        grain = 100 if windows else 1  # Windows keeps 100 ns
        if after[folder] // grain != time_before // grain:
            failures.append("-r left %s at %d, not %d" % (folder, after[folder], time_before))
if checked == 0:
    failures.append("no folder both set by the watch and still there: nothing to take back")

print("changes made:", ", ".join("%s %d" % item for item in sorted(kinds.items())))
print("folders set by the watch: %d; of the %d before, %d taken back by -r"
      % (len(set_by_watch), len(before), checked))
for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)
