// The Win32 names Chronotree calls, supplied on POSIX systems by this folder.
// Each call below documents what it returns and how it fails; nothing else of Win32 exists here.
#pragma once

#include <cerrno>
#include <cstdarg>
#include <cstddef>
#include <cstdint>

typedef uint32_t DWORD;
typedef int BOOL;
typedef unsigned int UINT;
typedef void* HANDLE;
typedef struct PosixInstance* HINSTANCE;
typedef struct PosixWindow* HWND;
typedef const char* LPCSTR;

#define TRUE 1
#define FALSE 0
#define MAX_PATH 260
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)

constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_ATTRIBUTE_REPARSE_POINT = 0x400;
// What a reparse point is, in dwReserved0 of a listing entry: a symbolic link, here always.
constexpr DWORD IO_REPARSE_TAG_SYMLINK = 0xA000000C;

constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD FILE_SHARE_DELETE = 0x4;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_FLAG_BACKUP_SEMANTICS = 0x02000000;

constexpr DWORD STD_OUTPUT_HANDLE = static_cast<DWORD>(-11);
constexpr DWORD STD_ERROR_HANDLE = static_cast<DWORD>(-12);
constexpr DWORD FILE_TYPE_UNKNOWN = 0;
constexpr DWORD FILE_TYPE_DISK = 1;
constexpr DWORD FILE_TYPE_CHAR = 2;
constexpr DWORD FILE_TYPE_PIPE = 3;

// The error codes of this layer are errno values; these are the Win32 names the program
// sets itself.
constexpr DWORD ERROR_PATH_NOT_FOUND = ENOENT;
constexpr DWORD ERROR_FILE_NOT_FOUND = ENOENT;
constexpr DWORD ERROR_FILENAME_EXCED_RANGE = ENAMETOOLONG;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = ENOMEM;
constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x200;
constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x1000;

constexpr UINT MB_ICONERROR = 0x10;
constexpr UINT MB_ICONWARNING = 0x30;
constexpr UINT MB_ICONINFORMATION = 0x40;
constexpr UINT MB_SETFOREGROUND = 0x10000;
constexpr int IDOK = 1;
constexpr int SW_SHOWDEFAULT = 10;

// 100-nanosecond intervals since 1 January 1601 UTC, low half first.
struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    char cFileName[MAX_PATH];
    char cAlternateFileName[14];
};

struct BY_HANDLE_FILE_INFORMATION {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD dwVolumeSerialNumber;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD nNumberOfLinks;
    DWORD nFileIndexHigh;
    DWORD nFileIndexLow;
};

struct SECURITY_ATTRIBUTES;
struct OVERLAPPED;

// How paths are resolved, for every call below that takes one:
// - The layer holds open the folders on the path of the latest listing (a stack of
//   descriptors, one a folder), and opens a path relative to the deepest of them on it
//   (openat, fstatat, utimensat, futimens), so a call costs the same at any depth, and a
//   path longer than PATH_MAX works up to 32767 bytes. ".." is never used to come back up.
// - At most half the process's descriptor limit (RLIMIT_NOFILE, read when a walk starts
//   afresh), and never more than 4096, are held. Past that some folders are let go of,
//   those at multiples of high powers of two in depth last, and opened again from the
//   nearest held folder when they are needed; so walking back up a chain reopens each
//   stretch from a nearby kept folder, not from the top. With 24 descriptors a chain of
//   3000 folders is still walked and set to the bottom.
// - Moves under the walk: a held folder is used through its descriptor, so a folder
//   renamed or replaced while the walk is inside it is still the folder listed and
//   written, and whatever takes its old path is not touched. A folder that was let go of
//   is used again only if its path still names the same folder (device and inode); if
//   not, the call fails, so nothing is written that was not read. Once no listing and no
//   file handle is open (between two walks), only the first held folder is kept, and it
//   is used again only while its path still names it.

// Starts listing the folder named by `pattern`, which must end in a separator and `*`
// ("dir/*"); any other pattern fails. "." and ".." and every other entry come in the
// directory's own order. Each entry is reported as Windows reports it, with
// dwFileAttributes, ftLastWriteTime and cFileName filled and every other field zero:
// - a folder has FILE_ATTRIBUTE_DIRECTORY; its time is not read and stays zero;
// - a symbolic link to a folder has FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
//   any other link (to a file, dangling, a loop) has FILE_ATTRIBUTE_REPARSE_POINT alone
//   and counts as a file; a link's time is its own, never its target's; every link has
//   IO_REPARSE_TAG_SYMLINK in dwReserved0;
// - anything else has FILE_ATTRIBUTE_NORMAL and its own time;
// - an entry that vanishes between the listing and its stat is left out.
// Names longer than MAX_PATH - 1 bytes are left out (Windows cannot report them either).
// Memory: a listing keeps at most 4 MiB of entries (about 200,000 files of short names).
// A folder that fits is read whole here; a wider one is read in batches of that size
// through a descriptor of its own, as FindNextFileA reaches the end of each batch.
// Returns INVALID_HANDLE_VALUE when the folder cannot be opened or read, or the pattern is
// not of that form; otherwise a handle, with the first entry in `data`.
// A listing of the same folder asked for right after the last listing was closed (no other
// FindFirstFileA in between, as the walk's two passes over a folder do) repeats that
// listing without reading the folder again, when it was read whole, the path is spelled
// the same, and one stat shows that no entry was added, removed or renamed since; the
// times of its files are then those read the first time. A wider folder is read again.
HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* data);

// Fills `data` with the next entry and returns 1; returns 0 at the end of the listing
// and for a handle that is not an open listing.
BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data);

// Ends a listing and gives back its memory. Returns 0 for a handle that is not open.
BOOL FindClose(HANDLE find);

// Makes a handle naming `path` for SetFileTime or GetFileInformationByHandle. Nothing is
// opened here: the path is looked up (following links) when the handle is used; a path
// that names a held folder is that folder (see above). A missing path, or one the caller
// may not change, makes that later call fail. Fails with INVALID_HANDLE_VALUE only when
// the path is empty or longer than 32767 bytes, or all 16 handles are in use. Access,
// sharing, creation disposition and flags are accepted as given: folders need no
// FILE_FLAG_BACKUP_SEMANTICS here.
HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);

// Threads, when UseFileThreads has set more than one:
// - Read-ahead: when a folder is listed, its plain subfolders (not links) are queued to be
//   read by worker threads, nearest to the walk's order first, so that a listing is
//   usually waiting when FindFirstFileA arrives. At most 256 listings, and a quarter of the
//   descriptor budget, are being read or read ahead at once (each holds a descriptor, and
//   each folder that subfolders are queued from one more), 4096 wait in the queue, and
//   the listings read ahead hold at most 8 MiB; a folder of more than 128 KiB of entries
//   (about 5,000 names) is left for the walk's own read. A folder the walk has passed is
//   dropped. A listing read ahead is used only when the folder it came from is
//   still the one the path names (its parent unchanged since it was opened) and is itself
//   unchanged since its read began, the rule of a second listing; otherwise the folder is
//   read again. Its entries are then those of that read.
// - Write-behind: SetFileTime and SetFileExactTime queue the write to a worker and return
//   non-zero at once; at most 64 writes (and a sixteenth of the budget) are pending, and
//   a call waits for room. A write that fails there is handed out by TakeFailedWrite. A
//   write, or a read of a time, of a path with a write pending first waits for every
//   pending write, so that each path sees its writes in order. A write is one system call:
//   it happens whole or not at all.
// - The descriptors of both come out of the budget above.

// Sets how many threads read ahead and write behind: `count`, or with 0 what the system
// says of `folder`: 64 on a network file system (NFS, SMB, FUSE and the like); on a
// solid-state disk (the device's rotational flag 0), one until the walk's own listings are
// seen to wait (the thread blocked 16 times in 64 of them), then as many as there are
// processors, at most 4; else 1. One means none: every call is done where it is made, as if
// there were no threads. Waits first for every pending write. Returns the number in use at
// the start (fewer than asked when the system gives no more).
DWORD UseFileThreads(const char* folder, DWORD count);

// What TakeFailedWrite waits for before it hands out a failed write.
constexpr DWORD TAKE_DONE = 0; // nothing: only writes already done
constexpr DWORD TAKE_ALL = 1; // every write queued so far
constexpr DWORD TAKE_AT_END = 2; // the same, once a walk has ended

// Unless `wait` is TAKE_DONE, waits until every write queued so far has been done. Then
// hands out the oldest failed write not yet handed out: its path as given to CreateFileA
// (cut to fit `size` bytes, with a NUL) and its errno, and returns non-zero; returns 0 when
// there is none.
BOOL TakeFailedWrite(DWORD wait, char* path, DWORD size, DWORD* error);

// Sets the given times of the handle's file: `lastWrite` becomes the modification time,
// `lastAccess` the access time; an absent time stays as it was. `creation` is ignored:
// POSIX keeps no creation time. Times are exact to 100 ns. Through a link to a folder the
// target is set and the link keeps its own times. Returns non-zero on success (or, with
// threads, once the write is queued), 0 when the file is gone or the caller may not change
// its times.
BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* lastAccess,
                 const FILETIME* lastWrite);

// Fills the identity of the handle's file (after links): the device in
// dwVolumeSerialNumber (folded to 32 bits), the inode in nFileIndexHigh and nFileIndexLow, plus its
// attributes and times. Two paths name the same folder exactly when the three agree.
// Returns 0 when the file cannot be looked up.
BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* info);

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

// The handle's last-write time (after links) to the nanosecond, before 1601 too. Returns
// 0 when the file cannot be looked up.
BOOL GetFileExactTime(HANDLE file, ExactTime* lastWrite);

// Sets the handle's last-write time (after links) to the nanosecond; the access time stays.
// Returns 0 when the file is gone, the caller may not change its times, or the time lies
// beyond what the system's time_t holds.
BOOL SetFileExactTime(HANDLE file, const ExactTime* lastWrite);

// Gives back a handle from CreateFileA. Returns 0 for a handle that is not open.
BOOL CloseHandle(HANDLE object);

// The process's standard output (STD_OUTPUT_HANDLE) or error (STD_ERROR_HANDLE), as they
// are (descriptors 1 and 2); INVALID_HANDLE_VALUE for any other value.
HANDLE GetStdHandle(DWORD which);

// What a standard handle is connected to: FILE_TYPE_DISK for a file, FILE_TYPE_PIPE for a
// pipe or socket, FILE_TYPE_CHAR for a terminal or other device; FILE_TYPE_UNKNOWN when
// it is closed or not a standard handle.
DWORD GetFileType(HANDLE file);

// Writes all `size` bytes to a standard handle (again after a short or interrupted write);
// `written` gets what was written. Returns 0 when the handle is not a standard handle or
// a write fails; `overlapped` must be null.
BOOL WriteFile(HANDLE file, const void* bytes, DWORD size, DWORD* written, OVERLAPPED* overlapped);

// The whole of the file `path` (relative to the current folder, as the system resolves it),
// in a new buffer for free() with a NUL behind its `length` bytes; null when it cannot be
// opened or read, or memory cannot be had.
char* ReadWholeFile(const char* path, size_t* length);

// The current folder (getcwd) into `buffer` of `size` bytes, with a NUL; returns its length
// without the NUL, or the size it needs (NUL included) when `buffer` is too small, or 0
// when it cannot be had (a folder removed, or deeper than the system can spell).
DWORD GetCurrentDirectoryA(DWORD size, char* buffer);

// The present time, as a FILETIME (CLOCK_REALTIME).
void GetSystemTimeAsFileTime(FILETIME* now);

// The present local time, to the millisecond, as the system's time zone has it.
struct SYSTEMTIME {
    uint16_t wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
};
void GetLocalTime(SYSTEMTIME* now);

// Stopping the program from outside, for the runs that go on until stopped (stop_events.cpp).
// The rule: a signal only sets an event; the walk's thread alone looks at it, when it waits.
#define WINAPI
typedef BOOL (*PHANDLER_ROUTINE)(DWORD event);
constexpr DWORD CTRL_C_EVENT = 0;
constexpr DWORD CTRL_CLOSE_EVENT = 2; // SIGTERM, as a console closed
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

// SIGINT calls `handler` with CTRL_C_EVENT and SIGTERM with CTRL_CLOSE_EVENT, in the signal
// handler: it may only set an event. One handler at most; `add` false takes it away (the
// signals then end the program, as by default). Returns 0 when the signals cannot be had.
BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add);

// An event that stays set once set (`manualReset` must be TRUE; no name, no attributes),
// set at the start when `initialState` is; null when the system gives no descriptor.
HANDLE CreateEventA(SECURITY_ATTRIBUTES* attributes, BOOL manualReset, BOOL initialState,
                    LPCSTR name);

// Sets the event; safe in a signal handler. Returns 0 for a handle that is no event.
BOOL SetEvent(HANDLE event);

// Waits until the event is set (WAIT_OBJECT_0) or `milliseconds` have passed
// (WAIT_TIMEOUT); INFINITE waits for ever. WAIT_FAILED for a handle that is no event.
constexpr DWORD INFINITE = 0xFFFFFFFF;
DWORD WaitForSingleObject(HANDLE event, DWORD milliseconds);

// Watching folders for changes (watch.cpp), over inotify. The rule: the system's
// notifications are read only inside WaitForFolderChanges, on the caller's thread; no thread
// of the layer's own, and nothing runs between two calls.
constexpr DWORD FILE_ACTION_ADDED = 1;
constexpr DWORD FILE_ACTION_REMOVED = 2;
constexpr DWORD FILE_ACTION_MODIFIED = 3; // written, or its times or attributes changed
constexpr DWORD FILE_ACTION_RENAMED_OLD_NAME = 4;
constexpr DWORD FILE_ACTION_RENAMED_NEW_NAME = 5;
// What WaitForFolderChanges ends with.
constexpr DWORD WATCH_CHANGES = 0; // changes wait for TakeFolderChange, the tree quiet since
constexpr DWORD WATCH_LOST = 1; // changes were lost: the whole tree must be looked at
constexpr DWORD WATCH_STOPPED = 2; // the stop event is set
constexpr DWORD WATCH_TIMEOUT = 3; // the time given passed with no change
constexpr DWORD WATCH_MESSAGE = 4; // a window message waits (never here: there are none)
// The watch cannot have every folder: the system's limit on watches is reached.
constexpr DWORD ERROR_TOO_MANY_WATCHES = 0x20000001;

// A new, empty watch; null, with errno, when the system gives no inotify instance.
HANDLE CreateFolderWatch();

// Watches the folder `path` (following links), whose changes are then reported with `key`.
// Every folder is watched on its own here; `root` (a top, or a folder reached through a
// link) changes nothing. A folder reached by two paths (a link) is one watch with two keys:
// its changes are reported once for each. Returns a non-zero number for UnwatchFolder, or
// 0: with ERROR_TOO_MANY_WATCHES once fs.inotify.max_user_watches is reached, or errno
// (ENOENT for a folder gone, ENAMETOOLONG past PATH_MAX).
DWORD WatchFolder(HANDLE watch, const char* path, DWORD key, BOOL root);

// Stops reporting `key` for the watch `id`; the folder is no longer watched once it has no
// key. Returns 0 when the pair is not watched (a folder removed is forgotten by itself).
BOOL UnwatchFolder(HANDLE watch, DWORD id, DWORD key);

// Waits for changes, then until none has come for `settle` milliseconds, and ends with
// WATCH_CHANGES; or with WATCH_LOST once the system's queue overflowed (or more than
// 65,536 changes wait), the tree quiet as before; or at once with WATCH_STOPPED when
// `stop` (an event, or null) is set; or with WATCH_TIMEOUT when `timeout` milliseconds
// (INFINITE: none) pass with no change. `messages` is ignored. Changes of a watched
// folder's own times are not reported (they are the program's own writes), nor are opens,
// reads and closes. Returns WAIT_FAILED, with errno, when the wait itself fails.
DWORD WaitForFolderChanges(HANDLE watch, HANDLE stop, DWORD settle, DWORD timeout, BOOL messages);

// Hands out the oldest change not yet handed out, in the order they came (the same change
// twice in a row is one): the key of the folder it happened in, what happened, and the
// entry's name (cut to fit `size` bytes, with a NUL), and returns non-zero; 0 when none is
// left.
BOOL TakeFolderChange(HANDLE watch, DWORD* key, DWORD* action, char* name, DWORD size);

// Ends the watch and gives back everything it holds.
void CloseFolderWatch(HANDLE watch);

// The reason the latest failing call above failed: every call that fails leaves its
// errno there (a listing of a folder whose names can be read but whose entries cannot be
// looked up fails with EACCES; one of a folder removed while open with ENOENT). Calls that
// succeed may leave it as it was or change it.
DWORD GetLastError();
void SetLastError(DWORD code);

// The system's text for the error `code` (strerror), with no line end, into `buffer` of
// `size` bytes; returns its length, or 0 when it does not fit. Only
// FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS is understood: the source, the
// language and the arguments are ignored.
DWORD FormatMessageA(DWORD flags, const void* source, DWORD code, DWORD language, char* buffer,
                     DWORD size, va_list* arguments);

// Shows a message the only way a command line can: a box with MB_ICONINFORMATION prints
// its text alone as one line on standard output; any other box prints "CAPTION: TEXT"
// as one line on standard error. The owner and MB_SETFOREGROUND are ignored. Returns IDOK.
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
