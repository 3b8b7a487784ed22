// The lines -v writes: a folder set (old time, new time, path) on standard output, and a
// folder that could not be set or listed on standard error. Nothing unless -v was given.
#pragma once

#include <windows.h>

#include <cstddef>

// "2019-07-14T10:00:00Z": UTC, to the second, the year in at least four digits.
constexpr size_t ISO_TIME_SIZE = 64; // room for what sprintf could write, not only what it will
void FormatIsoTime(FILETIME time, char* text);

// `old` is null when the folder's present time could not be read.
void ReportFolderChange(const FILETIME* old, FILETIME now, const char* path);

// `what` ("cannot set", "cannot list"), a tab, then the first `length` bytes of `path`
// followed by `name` (null when `path` is whole).
void ReportFolderProblem(const char* what, const char* path, size_t length, const char* name);
