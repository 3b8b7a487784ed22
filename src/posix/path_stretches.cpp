// How a path is cut into the stretches the held folders are opened by.
#include "path_stretches.h"

#include <climits>
#include <cstring>

// Where the level after one ending at `end` starts: behind its separators (a path that
// starts with '/' keeps it in its first level).
size_t StretchStart(const char* path, size_t end)
{
    if (end == 0)
        return 0;
    while (path[end] == '/')
        end++;
    return end;
}

// The end of the longest run of whole components from `from` that openat takes at once.
size_t StretchEnd(const char* path, size_t from, size_t length)
{
    if (length - from < PATH_MAX)
        return length;
    size_t end = from;
    for (size_t at = from + 1; at - from < PATH_MAX; at++) {
        if (path[at] == '/')
            end = at;
    }
    if (end == from) { // one component longer than openat takes: let it fail there
        end = from;
        while (end < length && (path[end] != '/' || end == from))
            end++;
    }
    return end;
}

size_t CommonPrefix(const char* a, const char* b, size_t length)
{
    size_t at = 0;
    while (at + 8 <= length && memcmp(a + at, b + at, 8) == 0)
        at += 8;
    while (at < length && a[at] == b[at])
        at++;
    return at;
}

size_t WithoutTrailingSeparators(const char* path, size_t length)
{
    while (length > 1 && path[length - 1] == '/')
        length--;
    return length;
}

// "dir/." and "dir/..", and "dir/../.." and so on: names the walk never lists.
bool EndsInDots(const char* path, size_t length)
{
    const char* last = strrchr(path, '/');
    const char* name = last ? last + 1 : path;
    size_t size = static_cast<size_t>(path + length - name);
    return (size == 1 || size == 2) && strncmp(name, "..", size) == 0;
}
