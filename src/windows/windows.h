// The Win32 names Chronotree calls, on Windows: the system's own, except the file calls
// below, which this folder supplies in UTF-8 over the wide calls, on paths of any length.
// Each documents what it returns and how it fails.
#pragma once

#include_next <windows.h>

#include <cstddef>
#include <cstdint>

// UTF-8 inside the program, UTF-16 only at the system's boundary. Names are turned into
// UTF-8 exactly, an unpaired surrogate too (as the three bytes its code would take), so
// every name the system can report comes back to the system as it was.
//
// How paths are resolved, for every call below that takes one:
// - A path that no open listing explains is made absolute and normalised as Windows
//   normalises it (GetFullPathNameW: the current folder, '/' for '\', "." and "..", a
//   trailing dot or blank of a name dropped), then given to the system in the "\\?\" form
//   ("\\?\UNC\server\share\..." for "\\server\share\..."). A path already written in the
//   "\\?\" form is taken as it stands.
// - The first listing started while no other is open remembers its folder, as spelled
//   and as resolved. While any listing is open, a path that begins with that spelling and
//   goes on with names (no "." or ".." among them) is that folder's resolved path followed
//   by those names exactly as given: so the names a listing reported are found again even
//   when they end in a dot or a blank, and a long path costs no normalisation.
// - No path short of the system's limit (32767 UTF-16 units) is refused for its length.

// A name of 255 UTF-16 units takes at most 765 bytes in UTF-8.
constexpr size_t FIND_NAME_SIZE = 768;

// The part of a listing entry the program reads.
struct Utf8FindData {
    DWORD dwFileAttributes;
    DWORD dwReserved0; // the reparse tag, when dwFileAttributes has FILE_ATTRIBUTE_REPARSE_POINT
    FILETIME ftLastWriteTime;
    char cFileName[FIND_NAME_SIZE];
};

// Starts listing the folder named by `pattern`, which must end in a separator and `*`;
// any other pattern fails. Entries come in the system's order, "." and ".." with them
// where the system reports them (a volume's root has neither), each with its attributes,
// its last-write time and its name in UTF-8. The folder is read with the basic
// information (no short names) and large fetches where the system offers them.
// Memory: a listing keeps at most 4 MiB of entries; a wider folder is read in batches.
// A listing of the same folder asked for right after the last listing was closed (no other
// listing started in between, as the walk's two passes over a folder do) repeats that
// listing without reading the folder again, when it was read whole, its resolved path is
// the same (compared by length and a 128-bit digest), and the folder's last-write time is
// still the one read before the listing began and was not within a second of that moment.
// The times of its files are then those read the first time.
// Once a folder has been opened for writing its times in this walk (below), a listing opens
// its folder for listing and for writing its attributes at once, reads it whole through
// that handle (GetFileInformationByHandleEx, Vista and later), and keeps the handle for the
// folder's write, so that a share answers one open a folder instead of two. At most 64 are
// kept, along the path being listed: a listing closes those of folders that are neither
// its folder nor above it; the end of a walk (TakeFailedWrite with TAKE_AT_END) closes them all. An
// open refused for writing stops this until the next folder opened for writing; a folder
// wider than the budget, a volume's root and Windows XP are listed as before.
// Returns INVALID_HANDLE_VALUE, with the system's error, when the folder cannot be listed
// or the pattern is not of that form; otherwise a handle, with the first entry in `data`.
HANDLE FindFirstFileUtf8(const char* pattern, Utf8FindData* data);

// Fills `data` with the next entry and returns 1; returns 0 at the end of the listing, when
// reading its next batch fails, and for a handle that is not an open listing.
BOOL FindNextFileUtf8(HANDLE find, Utf8FindData* data);

// Ends a listing and gives back its memory. Returns 0 for a handle that is not open.
BOOL FindCloseUtf8(HANDLE find);

// CreateFileW on the resolved path, with every other argument as given: returns the
// system's handle, for SetFileTime, GetFileInformationByHandle and CloseHandle, or
// INVALID_HANDLE_VALUE when the path cannot be opened or resolved. A folder opened for
// GENERIC_WRITE, OPEN_EXISTING and FILE_FLAG_BACKUP_SEMANTICS gets the handle its listing
// kept (above), when there is one: the folder that was listed, wherever it is now.
HANDLE CreateFileUtf8(const char* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                      DWORD disposition, DWORD flags, HANDLE templateFile);

// A time at the full precision this system keeps: 100 ns on Windows, 1 ns on POSIX, and
// times before 1601 too, which FILETIME cannot hold.
struct ExactTime {
    int64_t seconds; // since 1601-01-01 00:00:00 UTC; negative before it
    uint32_t nanoseconds; // 0 to 999,999,999
};

inline bool SameExactTime(ExactTime a, ExactTime b)
{
    return a.seconds == b.seconds && a.nanoseconds == b.nanoseconds;
}

// The handle's last-write time, to its 100 ns. Returns 0, with the system's error, when
// GetFileInformationByHandle fails.
BOOL GetFileExactTime(HANDLE file, ExactTime* lastWrite);

// SetFileTime of the last-write time alone; nanoseconds below 100 are dropped. Returns 0,
// with the system's error, when it fails or the time lies outside 1601 to 30828
// (ERROR_INVALID_PARAMETER).
BOOL SetFileExactTime(HANDLE file, const ExactTime* lastWrite);

// The whole of the file `path` (resolved as above), in a new buffer for free() with a NUL
// behind its `length` bytes; null, with the system's error, when it cannot be read.
char* ReadWholeFile(const char* path, size_t* length);

// FormatMessageW of a system error into `buffer` as UTF-8, line end included; returns the
// bytes written, or 0 when there is no such message or it does not fit.
DWORD FormatMessageUtf8(DWORD flags, const void* source, DWORD code, DWORD language, char* buffer,
                        DWORD size, va_list* arguments);

// GetCurrentDirectoryW in UTF-8 into `buffer` of `size` bytes, with a NUL; returns its
// length without the NUL, or the size it needs (NUL included) when `buffer` is too small,
// or 0, with the system's error, when it fails.
DWORD GetCurrentDirectoryUtf8(DWORD size, char* buffer);

// How many threads write folder times behind the walk: `count`, or with 0 what the system
// says of `folder`: 64 on a share on the network (GetDriveTypeW); on a volume without a
// seek penalty (a solid-state disk), one until the walk is seen to wait (its thread on the
// processor for under a quarter of a quarter second), then as many as there are processors,
// at most 4; else 1. One means none: every call is made where it is made. Closes the
// folders kept for writes and waits first for every pending write. Returns the number in
// use at the start (fewer when the system gives no more threads). With more than one, it
// also reads listings ahead on as many threads (read_ahead.h): a listing read whole queues
// its plain subfolders, and FindFirstFileA of one takes what was read ahead (waiting while
// it is read) when the folder's last-write time is still the one read before that read
// began and was not within a second of it, as a repeated listing is; else it reads the
// folder itself. A folder read ahead after a folder was opened for writing is kept as a
// listing's own (above). With more than one thread, also: a handle that CreateFileA opens
// for GENERIC_WRITE alone and OPEN_EXISTING is the layer's own, and serves SetFileTime,
// SetFileExactTime and CloseHandle only. Nothing is opened when it is made: SetFileTime
// gathers the times and returns non-zero, and CloseHandle queues their write (open or the
// kept handle, set, close) to a worker; at most 32 writes are pending, and CreateFileA
// waits for room. A write that fails there is handed out by TakeFailedWrite. CreateFileA of
// a path with a write pending (as the program spells it) first waits for every pending
// write, so that it sees them, in order.
DWORD UseFileThreads(const char* folder, DWORD count);

// What TakeFailedWrite waits for before it hands out a failed write.
constexpr DWORD TAKE_DONE = 0; // nothing: only writes already done
constexpr DWORD TAKE_ALL = 1; // every write queued so far
constexpr DWORD TAKE_AT_END = 2; // the same, once a walk has ended

// Unless `wait` is TAKE_DONE, waits until every write queued so far has been done; with
// TAKE_AT_END it first closes the folders that listings kept for their writes and drops
// what was read ahead. Then hands out the oldest failed write not yet handed out: its path
// as given to CreateFileA (cut to fit `size` bytes, with a NUL) and the system's error,
// and returns non-zero; returns 0 when there is none.
BOOL TakeFailedWrite(DWORD wait, char* path, DWORD size, DWORD* error);

// SetFileTime and CloseHandle, which know the layer's write handles (above) and pass every
// other handle to the system.
BOOL SetFileTimeUtf8(HANDLE file, const FILETIME* creation, const FILETIME* lastAccess,
                     const FILETIME* lastWrite);
BOOL CloseHandleUtf8(HANDLE object);

// Watching folders for changes (watch.cpp), over ReadDirectoryChangesW. The rule: the
// system's notifications are read only inside WaitForFolderChanges, on the caller's thread
// (overlapped requests, one for each subtree watched); no thread of the layer's own.
// What WaitForFolderChanges ends with.
constexpr DWORD WATCH_CHANGES = 0; // changes wait for TakeFolderChange, the tree quiet since
constexpr DWORD WATCH_LOST = 1; // changes were lost: the whole tree must be looked at
constexpr DWORD WATCH_STOPPED = 2; // the stop event is set
constexpr DWORD WATCH_TIMEOUT = 3; // the time given passed with no change
constexpr DWORD WATCH_MESSAGE = 4; // a message waits for the calling thread's windows

// A new, empty watch; null when memory cannot be had.
HANDLE CreateFolderWatch();

// Watches `path` with `key`. A `root` (a top, or a folder reached through a link or
// junction) gets a watch of its whole subtree, with a buffer of 64 KB so that a share
// accepts it; any other folder is reported by the watch of the subtree it lies in, and
// nothing is done (returns 1). Returns a non-zero number for UnwatchFolder, or 0 with the
// system's error: the folder cannot be opened, or refuses change notification (a share
// or a file system without it), or ERROR_TOO_MANY_OPEN_FILES past 63 subtrees.
DWORD WatchFolder(HANDLE watch, const char* path, DWORD key, BOOL root);

// Stops the watch `id` of `key` (a subtree's watch is closed). Returns 0 when it is not
// one.
BOOL UnwatchFolder(HANDLE watch, DWORD id, DWORD key);

// Waits for changes, then until none has come for `settle` milliseconds (counted from the
// latest change, across calls: a wait ended by a message goes on where it was), and ends
// with WATCH_CHANGES; or with WATCH_LOST, the tree quiet as before, once a request came back
// empty or failed (ERROR_NOTIFY_ENUM_DIR: the system could not keep them all; the folder
// gone) or more than 65,536 changes wait; or at once with WATCH_STOPPED when `stop` (an
// event, or null) is set; or with WATCH_MESSAGE when `messages` is set and a message waits
// (MsgWaitForMultipleObjects); or with WATCH_TIMEOUT when `timeout` milliseconds
// (INFINITE: none) pass with no change. Returns WAIT_FAILED when the wait itself fails.
// Changes come as the system reports them: a name below the subtree's folder, names
// joined by '\\', and FILE_ACTION_MODIFIED for a folder whose time changed too.
DWORD WaitForFolderChanges(HANDLE watch, HANDLE stop, DWORD settle, DWORD timeout, BOOL messages);

// Hands out the oldest change not yet handed out, in the order they came (the same change
// twice in a row is one): the key of the subtree it happened in, the FILE_ACTION_ it was,
// and its path below that subtree's folder in UTF-8 (cut to fit `size` bytes, with a NUL),
// and returns non-zero; 0 when none is left.
BOOL TakeFolderChange(HANDLE watch, DWORD* key, DWORD* action, char* name, DWORD size);

// Ends the watch: every request is cancelled and every handle closed.
void CloseFolderWatch(HANDLE watch);

// MessageBoxW with the UTF-8 text and caption; returns what it returns.
int MessageBoxUtf8(HWND owner, const char* text, const char* caption, UINT type);

// The program is written against the Win32 names; on Windows these are its own. The
// layer's own files see the system's (they define CHRONOTREE_SYSTEM_NAMES).
#ifndef CHRONOTREE_SYSTEM_NAMES
#undef WIN32_FIND_DATAA
#undef FindFirstFileA
#undef FindNextFileA
#undef FindClose
#undef CreateFileA
#undef MessageBoxA
#undef FormatMessageA
#undef GetCurrentDirectoryA
#define GetCurrentDirectoryA GetCurrentDirectoryUtf8
#define SetFileTime SetFileTimeUtf8
#define CloseHandle CloseHandleUtf8
#define FormatMessageA FormatMessageUtf8
#define WIN32_FIND_DATAA Utf8FindData
#define FindFirstFileA FindFirstFileUtf8
#define FindNextFileA FindNextFileUtf8
#define FindClose FindCloseUtf8
#define CreateFileA CreateFileUtf8
#define MessageBoxA MessageBoxUtf8
#endif
