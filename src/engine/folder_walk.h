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

// Told of each folder the walk enters (its path, a separator behind it, before it is
// listed; whether it is a top or a link, which a watch of whole subtrees watches on its
// own) and leaves (the newest of its own files, of its subtree, and whether it could be
// listed), of the present time read of the folder last left, as it is about to be set,
// and of each file in the future: so that a watch can keep the tree. Null unless watching.
struct WalkRecorder {
    void (*entered)(const char* path, const char* name, bool root);
    void (*left)(FILETIME files, FILETIME newest, bool listed);
    void (*present)(ExactTime time);
    void (*futureFile)(FILETIME time);
};
extern const WalkRecorder* walkRecorder;

// Walks `path` (absent, empty or longer than MAX_FOLDER_ARGUMENT: does nothing at all).
// Resets and then fills programState.visitedCount and programState.changedCount. Once
// programState.stopRequested is set, nothing more is written and the walk ends.
void RunFolderWalk(const char* path);

// Returns the newest file time in the folder spelled by the buffer up to `at` followed by
// `name`, subfolders included (0 when there is none), setting every folder below it.
FILETIME StampNewestTimes(char* buffer, char* at, const char* name, WalkLevel* parent);

// `b` when it is strictly later than `a`, otherwise `a`.
FILETIME LaterFileTime(FILETIME a, FILETIME b);
