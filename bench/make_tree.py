#!/usr/bin/env python3
"""Makes the benchmark trees with fixed file times.
usage: make_tree.py ROOT wide FOLDERS FILES | flat FILES | deep LEVELS"""
import os
import sys


def stamp(path, n):
    seconds = 1500000000 + (n * 7919) % 100000000
    os.utime(path, ns=(seconds * 10**9 + n % 10**9, seconds * 10**9 + n % 10**9))


def touch(path, n):
    os.close(os.open(path, os.O_CREAT | os.O_WRONLY, 0o644))
    stamp(path, n)


def wide(root, folders, files):
    """Ten children a folder, breadth first, files spread evenly over all folders."""
    made, queue = [], [root]
    while len(made) < folders:
        parent = queue.pop(0)
        for k in range(10):
            if len(made) == folders:
                break
            path = os.path.join(parent, "d%d" % k)
            os.mkdir(path)
            made.append(path)
            queue.append(path)
    for n in range(files):
        touch(os.path.join(made[n % len(made)], "f%d.jpg" % n), n)


def flat(root, files):
    folder = os.path.join(root, "flat")
    os.mkdir(folder)
    for n in range(files):
        touch(os.path.join(folder, "f%d" % n), n)


def deep(root, levels):
    fd = os.open(root, os.O_RDONLY)
    for n in range(levels):
        os.mkdir("d", dir_fd=fd)
        touch_fd = os.open("f", os.O_CREAT | os.O_WRONLY, 0o644, dir_fd=fd)
        os.close(touch_fd)
        os.utime("f", ns=(10**18 + n, 10**18 + n), dir_fd=fd)
        next_fd = os.open("d", os.O_RDONLY, dir_fd=fd)
        os.close(fd)
        fd = next_fd
    os.close(fd)


if __name__ == "__main__":
    root, kind = sys.argv[1], sys.argv[2]
    os.makedirs(root, exist_ok=True)
    numbers = [int(a) for a in sys.argv[3:]]
    {"wide": wide, "flat": flat, "deep": deep}[kind](root, *numbers)
