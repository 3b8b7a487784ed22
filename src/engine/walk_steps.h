// The steps of the walk that a watch takes again, one folder at a time, so that a folder
// listed again is judged and written exactly as the walk judges and writes it.
#pragma once

#include <windows.h>

#include "walk_level.h"

// The entry the listings fill, one for every level (see folder_walk.cpp).
extern WIN32_FIND_DATAA walkEntry;

// Starts listing the folder the buffer spells up to `tail` (behind its separator), its
// first entry in walkEntry; INVALID_HANDLE_VALUE when it cannot be listed.
HANDLE StartListing(char* buffer, char* tail);

// Whether a listing's entry is a subfolder the walk enters (not "." or "..", and not left
// out by -i, --exclude or --no-links).
bool IsSubfolder(const WIN32_FIND_DATAA& entry);

// Walks the subfolder in walkEntry, an entry of the folder at `level`, and sets it when its
// subtree holds a file; returns the newest file time in it (0 when none).
FILETIME StampSubfolder(char* buffer, WalkLevel* level);

// The newest file time among the files of the folder spelled up to `tail`; a listing that
// cannot start sets `*listed` false and, the first time, `*error`.
FILETIME NewestFileTime(char* buffer, char* tail, bool* listed, DWORD* error);

// Sets the folder `path` to `time` (with -n only counts it), as every option asks. Its -v
// line names `shownOld` as its old time when given (a watch names the time a folder had
// before the watch began, so that -r takes a whole watch back), else its present time.
void StampFolder(const char* path, FILETIME time, const ExactTime* shownOld = nullptr);

// Sets the top folder spelled by the buffer (a separator behind it) when --top asks.
void StampTop(char* buffer, FILETIME newest, const ExactTime* shownOld = nullptr);

// Around a walk's writes, or a watch's round: the clock of files in the future starts
// again; at the end, every write is done or its failure reported.
void StartStamping();
void EndStamping();
