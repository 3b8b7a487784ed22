// Takes a run back from its -v list: every folder whose time is still the new one the list
// gave it gets its old time again.
#pragma once

#include <windows.h>

#include <cstddef>

// Reads the list at `listPath` whole and checks every line before anything is written: a
// line that is neither a -v line nor a summary stops everything, named by its number.
// Then, from the last line to the first (so that lists of successive runs, one after the
// other, come back in order), each folder still at its new time is set to its old one;
// one whose time has moved on, that is gone, or whose old time is unknown is left alone and
// reported. With -n nothing is written; with -v each folder restored is listed as the walk
// lists a change. Fills programState.changedCount (restored) and visitedCount (lines).
void RunRestore(const char* listPath);

// The same from a list held in memory (`length` bytes of `text`, which is cut up in place),
// named `name` in what is reported: the window's undo of its last run.
void RunRestoreFromText(const char* name, char* text, size_t length);

// "2019-07-14T10:00:00.123456789Z" (any number of digits after the second, or none; the year
// in four digits or more, '-' before it for a year before 0) to an exact time; false when
// `text` is not such a time.
bool ParseIsoTime(const char* text, size_t length, ExactTime* time);

// Undoes what the lists' escapes did to a path, in place; false when `path` holds a
// backslash that begins no escape the lists write.
bool UnescapePath(char* path);
