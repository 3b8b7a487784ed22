#!/usr/bin/env python3
"""The Linux command's progress line on a pseudo-terminal: when it shows, what it shows at
every width, the -v lines around it, and Ctrl-C and SIGTERM erasing it. Each listing is
slowed by strace (1 ms a getdents64), so that a walk of a small tree takes seconds.
usage: progress_line.py PROGRAM WORKDIR"""
import fcntl
import os
import pty
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import termios
import time

program, work = os.path.abspath(sys.argv[1]), sys.argv[2]
passed = failed = 0


def check(what, condition):
    global passed, failed
    if condition:
        passed += 1
    else:
        failed += 1
        print("FAIL: " + what)


def make_tree(root, folders, name=lambda i: "d%d" % i):
    """Folders of ten children, breadth first, each with one file."""
    shutil.rmtree(root, ignore_errors=True)
    os.makedirs(root)
    made, queue = 0, [root]
    while made < folders:
        parent = queue.pop(0)
        for k in range(10):
            if made == folders:
                break
            path = os.path.join(parent, name(made))
            os.mkdir(path)
            open(os.path.join(path, "f"), "w").close()
            os.utime(os.path.join(path, "f"), (1e9 + made, 1e9 + made))
            made += 1
            queue.append(path)


def run(args, columns=80, slow=True, stdout_to_terminal=True, interrupt=None):
    """Runs the program with standard error (and output, unless told) on a terminal of
    `columns`; returns (exit status or -signal, what the terminal got, standard output)."""
    master, slave = pty.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, columns, 0, 0))
    command = [program] + args
    if slow:
        command = ["strace", "-qq", "-o", "/dev/null", "-e", "trace=getdents64",
                   "-e", "inject=getdents64:delay_enter=1000"] + command
    out_path = os.path.join(work, "stdout")
    # LeakSanitizer cannot work under strace; the sanitizer builds run these cases too.
    env = dict(os.environ)
    env["ASAN_OPTIONS"] = (env.get("ASAN_OPTIONS", "") + ":detect_leaks=0").lstrip(":")
    with open(out_path, "wb") as out:
        child = subprocess.Popen(command, stdin=slave, stderr=slave,
                                 stdout=slave if stdout_to_terminal else out,
                                 start_new_session=True, env=env)
    os.close(slave)
    got, started = b"", time.time()
    sent = False
    while True:
        ready, _, _ = select.select([master], [], [], 0.1)
        if ready:
            try:
                chunk = os.read(master, 65536)
            except OSError:
                chunk = b""
            if not chunk and child.poll() is not None:
                break
            got += chunk
        elif child.poll() is not None:
            break
        if interrupt and not sent and got.count(b"\r") >= 3:
            # The program itself, not strace, gets the signal, as Ctrl-C would give it.
            pids = subprocess.run(["pgrep", "-P", str(child.pid)], capture_output=True,
                                  text=True).stdout.split()
            os.kill(int(pids[0]) if pids else child.pid, interrupt)
            sent = True
        if time.time() - started > 120:
            child.kill()
            break
    status = child.wait()
    os.close(master)
    with open(out_path, "rb") as out:
        return status, got, out.read()


def frames(terminal):
    """The progress lines as drawn: each text between a carriage return and the erase."""
    return [m.group(1) for m in re.finditer(rb"\r([^\r\n\x1b]*)\x1b\[K", terminal) if m.group(1)]


os.makedirs(work, exist_ok=True)
tree = os.path.join(work, "tree")
make_tree(tree, 1500)

# A long walk: the line shows, keeps changing, and is erased before the summary.
status, terminal, _ = run(["-a", "-n", tree])
shown = frames(terminal)
check("the line shows during a long walk", len(shown) >= 3)
check("it keeps updating", len(set(shown)) >= 3)
check("it is erased before the summary", b"\r\x1b[KFolder dates that would change:" in terminal)
check("the walk ends well", status == 0)
# Standard output elsewhere: still shown, on standard error.
status, terminal, output = run(["-a", "-n", tree], stdout_to_terminal=False)
check("shown when only standard output is redirected", len(frames(terminal)) >= 3)
check("the summary went to standard output", output.startswith(b"Folder dates"))
# Never under -s; nothing for a short walk.
status, terminal, _ = run(["-a", "-s", "-n", tree])
check("never under -s", terminal == b"")
small = os.path.join(work, "small")
make_tree(small, 20)
# Not slowed: under strace, a loaded machine once took past the half second for it.
status, terminal, _ = run(["-a", "-n", small], slow=False)
check("nothing for a short walk", frames(terminal) == [])

# At every width, the end of the folder being walked: never the top alone, never more
# than the width, UTF-8 cut on character boundaries, control characters as '?'.
odd = os.path.join(work, "odd")
make_tree(odd, 400, name=lambda i: "名前\tx\x01%d日本語" % i)
for columns in (1, 2, 4, 8, 20, 33, 80, 200):
    status, terminal, _ = run(["-a", "-n", odd], columns=columns)
    drawn = frames(terminal)
    check("width %d: drawn" % columns, columns < 2 or len(drawn) >= 2)
    check("width %d: within the width" % columns,
          all(len(f.decode("utf-8", "replace")) <= max(columns - 1, 0) for f in drawn))
    check("width %d: whole UTF-8 characters" % columns,
          all(f.replace(b"...", b"").decode("utf-8", "strict") is not None for f in drawn))
    check("width %d: no control character" % columns,
          all(not re.search(rb"[\x00-\x1f\x7f]", f) for f in drawn))
    if columns >= 8:
        check("width %d: the end of a folder below the top" % columns,
              all(f.endswith("本語".encode()) or f.endswith("語".encode()) or
                  f.endswith(b"/") for f in drawn))

# -v on the same terminal: every list line stands on a line of its own.
status, terminal, _ = run(["-a", "-n", "-v", tree])
records = re.findall(rb"\d{4}-\d\d-\d\dT[^\t\r\n]*\t[^\t\r\n]*\t[^\r\n]*", terminal)
check("-v lines on the terminal: all there", len(records) == 1500)
check("-v lines on the terminal: each on a line of its own",
      all(re.search(rb"(^|\n|\x1b\[K)" + re.escape(r) + rb"\r?\n", terminal) for r in records[:200]))

# Ctrl-C and SIGTERM: the line is erased, then the signal ends the program.
for which in (signal.SIGINT, signal.SIGTERM):
    status, terminal, _ = run(["-a", "-n", tree], interrupt=which)
    check("%s: ended by the signal" % which.name, status in (-which, 128 + which))
    check("%s: the line is erased last" % which.name, terminal.endswith(b"\r\x1b[K"))

print("%d passed, %d failed" % (passed, failed))
sys.exit(1 if failed else 0)
