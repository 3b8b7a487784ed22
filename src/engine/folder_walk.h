// The folder time engine: walks every folder below a top folder and sets each one's
// last-write time to the newest file time in its subtree.
#pragma once

#include <windows.h>

#include "output_lines.h"
#include "walk_level.h"

#include <cstddef>

// Told of every entry the walk reads, so that a window can handle its messages however
// wide the folder; null unless a front end needs it.
extern void (*walkPulse)();

// Where the stack must stop: a folder whose frame would lie below this address is not
// entered but reported as one that cannot be listed. Null (no bound) unless the start-up
// knows the stack it runs on.
extern const char* walkStackFloor;

// Walks `path` (absent, empty or longer than MAX_FOLDER_ARGUMENT: does nothing at all).
// Resets and then fills programState.visitedCount and programState.changedCount. Once
// programState.stopRequested is set, nothing more is written and the walk ends.
void RunFolderWalk(const char* path);

// Returns the newest file time in the folder spelled by the buffer up to `at` followed by
// `name`, subfolders included (0 when there is none), setting every folder below it.
FILETIME StampNewestTimes(char* buffer, char* at, const char* name, WalkLevel* parent);

// `b` when it is strictly later than `a`, otherwise `a`.
FILETIME LaterFileTime(FILETIME a, FILETIME b);
