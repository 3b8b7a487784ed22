// The lines a walk writes: with -v, a folder changed (old time, new time, path) on standard
// output; always, a folder that could not be listed, set or read, on standard error.
#pragma once

#include <windows.h>

#include "output_lines.h"

#include <cstddef>

// "2019-07-14T10:00:00.123456789Z": UTC, the year in at least four digits, then as many
// digits of the second as the platform keeps (TIME_FRACTION_DIGITS).
constexpr size_t ISO_TIME_SIZE = 64; // room for what sprintf could write, not only what it will
void FormatIsoTime(ExactTime time, char* text);

ExactTime ExactFromFileTime(FILETIME time);

// The FILETIME of an exact time, its nanoseconds below 100 dropped (0 before 1601).
FILETIME FileTimeFromExact(ExactTime time);

// The -v line of a folder about to change; `old` is null when its present time could not
// be read. Returns false when -v was given and the line could not be written whole (a full
// disk, a closed output): the caller then writes nothing more.
// `oldCreated`, when given (--created), goes behind the path as a fourth field.
bool ReportFolderChange(const ExactTime* old, ExactTime now, const char* path,
                        const ExactTime* oldCreated = nullptr);

// "chronotree: 'PATH' is dated 2099-01-01, in the future" on standard error: a file dated
// more than a day after the walk began, PATH the first `length` bytes of `folder` and `name`.
void ReportFutureFile(const char* folder, size_t length, const char* name, ExactTime time);

// While `keep` is set, every line ReportFolderChange makes, -v or not, is also kept in
// memory (a fresh list each time it is set), so that a window run can be taken back.
void KeepChangesInMemory(bool keep);

// Whether the lines are being kept (a window run, which needs the old times for its undo).
bool ChangesKept();

// The lines kept, `length` bytes (not NUL-terminated); null when none were kept.
const char* KeptChanges(size_t* length);

// The list of changes could not be written (`error` says why): says so on standard error,
// counts a failure, and sets programState.listLost, after which nothing more is written.
void ReportListLost(DWORD error);

// "chronotree: WHAT 'PATH': REASON" on standard error, PATH being the first `length` bytes
// of `path` followed by `name` (null when `path` is whole), REASON the system's text for
// `error`, or `reason` when it is not null.
void ReportFolderProblem(const char* what, const char* path, size_t length, const char* name,
                         DWORD error, const char* reason = nullptr);

// A write may be done behind the walk by the file layer, and fail after it was counted as
// set: each such failure is reported ("cannot set") and counted now, and taken off the
// folders set. `wait` is what the layer waits for first (TAKE_DONE, TAKE_ALL or
// TAKE_AT_END). Every other line on standard error first reports the failures of the
// writes queued before it (TAKE_ALL), so that the lines come out in the walk's order
// whatever the number of threads.
void ReportLateWriteFailures(DWORD wait);

// A folder below the top that could not be listed, set, read or restored: counted for the
// exit status and for the summary.
void CountFailure();

// The top folder, or the list to restore from, could not be read at all: counted for the
// exit status, and the summary names it with the reason `error`.
void CountTopFailure(DWORD error);

// Writes `path` as the lists spell it into `into` (ESCAPES_PATHS: '\\' as "\\\\", tab,
// newline and carriage return as "\\t", "\\n", "\\r", other control bytes as "\\xHH");
// returns the bytes written. `into` has room for four times `length`.
size_t EscapePath(const char* path, size_t length, char* into);
