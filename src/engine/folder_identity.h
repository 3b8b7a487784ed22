// Catches links and junctions that would make the walk enter a folder it is already inside,
// or the top folder or a folder above it, which would otherwise make the descent go on
// until the path no longer fits or write the top; and reads what a folder's handle tells.
#pragma once

#include <windows.h>

#include "walk_level.h"

// Learns the identities of the top folder (the first `length` bytes of `top`, ending in a
// separator) and of every folder above it, as "..", "../.." and so on name them.
void LearnTopAndAbove(const char* top, size_t length);

// True when the folder `name`, an entry of the folder at `level`, is that folder or one
// of the folders above it on the path, or the top folder or one above it. False when it is
// none of these, or cannot be looked up.
bool IsAlreadyOnPath(char* buffer, WalkLevel* level, const char* name);

// The information of the folder `path` names (its identity, its present times); false when
// it cannot be looked up.
bool ReadFolderInformation(const char* path, BY_HANDLE_FILE_INFORMATION* info);

// The folder's present last-write time at the platform's full precision, and when `created`
// is given its creation time too (where the system keeps one: 100 ns on Windows); false,
// with the system's error, when it cannot be read.
bool ReadExactLastWrite(const char* path, ExactTime* time, ExactTime* created = nullptr);

// Sets the folder's last-write time alone (SetFileTime), or with `exact` its exact time
// (SetFileExactTime) and, when `created` is given, its creation time too (to 100 ns);
// returns the system's error, or 0 when it was set. With --created the walk's write sets
// the creation time to the same time as the last-write time.
DWORD WriteLastWriteTime(const char* path, FILETIME time);
DWORD WriteExactLastWrite(const char* path, ExactTime exact, const ExactTime* created = nullptr);
