#!/usr/bin/python3
"""A file system that stands for a share on a network: it passes every request through to a
folder on the local disk after a fixed delay, serves requests concurrently, and counts them
by kind. Attributes and names are cached by the kernel for a minute, as a network client
caches them.
usage: slow_fs.py BACKING MOUNTPOINT DELAY_MS COUNTS_FILE [FOLDER_GRAIN_NS]
(runs until unmounted; with FOLDER_GRAIN_NS, a folder's time written is cut to a multiple
of it, as a share that keeps folder times to the second does)"""
import errno
import json
import os
import stat
import sys
from collections import Counter

import pyfuse3
import trio

CACHE_SECONDS = 60


class SlowFs(pyfuse3.Operations):
    enable_writeback_cache = False

    def __init__(self, backing, delay, folder_grain_ns=1):
        super().__init__()
        self.delay = delay
        self.folder_grain_ns = folder_grain_ns
        self.paths = {pyfuse3.ROOT_INODE: backing}
        self.counts = Counter()
        self.listings = {}
        self.next_handle = 1

    async def wait(self, kind):
        self.counts[kind] += 1
        if self.delay:
            await trio.sleep(self.delay)

    def inode_of(self, path, st):
        inode = pyfuse3.ROOT_INODE if path == self.paths[pyfuse3.ROOT_INODE] else st.st_ino
        self.paths[inode] = path
        return inode

    def attributes(self, path, st=None):
        st = st or os.lstat(path)
        entry = pyfuse3.EntryAttributes()
        for field in ("st_mode", "st_nlink", "st_uid", "st_gid", "st_size",
                      "st_atime_ns", "st_mtime_ns", "st_ctime_ns"):
            setattr(entry, field, getattr(st, field))
        entry.st_ino = self.inode_of(path, st)
        entry.st_rdev = 0
        entry.st_blksize = 4096
        entry.st_blocks = (st.st_size + 511) // 512
        entry.generation = 0
        entry.entry_timeout = CACHE_SECONDS
        entry.attr_timeout = CACHE_SECONDS
        return entry

    def stat_of(self, path):
        try:
            return self.attributes(path)
        except OSError as error:
            raise pyfuse3.FUSEError(error.errno)

    async def lookup(self, parent, name, ctx=None):
        await self.wait("lookup")
        return self.stat_of(os.path.join(self.paths[parent], os.fsdecode(name)))

    async def getattr(self, inode, ctx=None):
        await self.wait("getattr")
        return self.stat_of(self.paths[inode])

    async def setattr(self, inode, attr, fields, fh, ctx):
        await self.wait("setattr")
        path = self.paths[inode]
        try:
            if fields.update_mtime or fields.update_atime:
                st = os.lstat(path)
                atime = attr.st_atime_ns if fields.update_atime else st.st_atime_ns
                mtime = attr.st_mtime_ns if fields.update_mtime else st.st_mtime_ns
                if stat.S_ISDIR(st.st_mode):  # as a share that keeps folder times coarsely
                    mtime -= mtime % self.folder_grain_ns
                os.utime(path, ns=(atime, mtime), follow_symlinks=False)
        except OSError as error:
            raise pyfuse3.FUSEError(error.errno)
        return self.stat_of(path)

    async def readlink(self, inode, ctx):
        await self.wait("readlink")
        return os.fsencode(os.readlink(self.paths[inode]))

    async def opendir(self, inode, ctx):
        await self.wait("opendir")
        handle = self.next_handle
        self.next_handle += 1
        self.listings[handle] = (self.paths[inode], None)
        return handle

    async def readdir(self, handle, start, token):
        await self.wait("readdir")
        path, entries = self.listings[handle]
        if entries is None:
            entries = []
            with os.scandir(path) as found:
                for entry in found:
                    entries.append((entry.name, entry.stat(follow_symlinks=False)))
            self.listings[handle] = (path, entries)
        for index in range(start, len(entries)):
            name, st = entries[index]
            attributes = self.attributes(os.path.join(path, name), st)
            if not pyfuse3.readdir_reply(token, os.fsencode(name), attributes, index + 1):
                break

    async def releasedir(self, handle):
        await self.wait("releasedir")
        del self.listings[handle]

    async def statfs(self, ctx):
        await self.wait("statfs")
        st = os.statvfs(self.paths[pyfuse3.ROOT_INODE])
        data = pyfuse3.StatvfsData()
        for field in ("f_bsize", "f_frsize", "f_blocks", "f_bfree", "f_bavail",
                      "f_files", "f_ffree", "f_favail", "f_namemax"):
            setattr(data, field, getattr(st, field))
        return data

    async def access(self, inode, mode, ctx):
        await self.wait("access")
        return True

    async def forget(self, inode_list):
        pass


def main():
    backing, mountpoint, delay, counts_file = sys.argv[1:5]
    grain = int(sys.argv[5]) if len(sys.argv) > 5 else 1
    fs = SlowFs(os.path.abspath(backing), float(delay) / 1000, grain)
    options = set(pyfuse3.default_options)
    options.add("fsname=slowfs")
    pyfuse3.init(fs, mountpoint, options)
    try:
        trio.run(pyfuse3.main)
    finally:
        pyfuse3.close(unmount=False)
        with open(counts_file, "w") as out:
            json.dump(dict(fs.counts), out)


if __name__ == "__main__":
    main()
