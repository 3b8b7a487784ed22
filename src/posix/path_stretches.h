// How a path is cut into the stretches that openat takes at once: pure functions of the
// path's bytes, for the held folders.
#pragma once

#include <cstddef>

// Where the level after one ending at `end` starts: behind its separators (a path that
// starts with '/' keeps it in its first level).
size_t StretchStart(const char* path, size_t end);

// The end of the longest run of whole components from `from` that openat takes at once
// (PATH_MAX bytes); a single component longer than that is a stretch of its own, for
// openat to refuse.
size_t StretchEnd(const char* path, size_t from, size_t length);

// How many of the first `length` bytes of `a` and `b` are the same.
size_t CommonPrefix(const char* a, const char* b, size_t length);

// `length` less the separators at the path's end ("/" stays "/").
size_t WithoutTrailingSeparators(const char* path, size_t length);

// True for "dir/." and "dir/..", and "dir/../.." and so on: names the walk never lists.
bool EndsInDots(const char* path, size_t length);
