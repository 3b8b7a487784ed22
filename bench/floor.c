/* The one-pass floor the walk is measured against: one directory read per folder, the entry
   type from that read, one fstatat per file and one time write per folder. */
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

enum { CHUNK_SIZE = 32768 };

/* Returns the newest modification time below the open folder `folder`, writing it to every
   subfolder that holds a file; 0 seconds and -1 nanoseconds when there is none. */
static struct timespec Walk(int folder)
{
    struct timespec newest = {0, -1};
    // On the heap: a deep chain would not fit a stack of 32 KiB buffers.
    char* chunk = malloc(CHUNK_SIZE);
    if (!chunk)
        return newest;
    for (;;) {
        ssize_t got = getdents64(folder, chunk, CHUNK_SIZE);
        if (got <= 0)
            break;
        for (ssize_t at = 0; at < got;) {
            struct dirent64* entry = (struct dirent64*)(chunk + at);
            at += entry->d_reclen;
            const char* name = entry->d_name;
            if (name[0] == '.' && (!name[1] || (name[1] == '.' && !name[2])))
                continue;
            struct timespec found = {0, -1};
            if (entry->d_type == DT_DIR) {
                int sub = openat(folder, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                if (sub < 0)
                    continue;
                found = Walk(sub);
                close(sub);
                if (found.tv_nsec >= 0) {
                    struct timespec times[2] = {{0, UTIME_OMIT}, found};
                    utimensat(folder, name, times, 0);
                }
            } else {
                struct stat info;
                if (fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
                    continue;
                found = info.st_mtim;
            }
            if (found.tv_nsec >= 0 &&
                (newest.tv_nsec < 0 || found.tv_sec > newest.tv_sec ||
                 (found.tv_sec == newest.tv_sec && found.tv_nsec > newest.tv_nsec)))
                newest = found;
        }
    }
    free(chunk);
    return newest;
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: floor FOLDER\n");
        return 2;
    }
    int top = open(argv[1], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (top < 0)
        return 1;
    Walk(top);
    close(top);
    return 0;
}
