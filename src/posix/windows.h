// The Win32 names Chronotree calls, supplied on POSIX systems by this folder.
// Each call below documents what it returns and how it fails; nothing else of Win32 exists here.
#pragma once

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

constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD FILE_SHARE_DELETE = 0x4;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_FLAG_BACKUP_SEMANTICS = 0x02000000;

constexpr UINT MB_ICONERROR = 0x10;
constexpr UINT MB_ICONINFORMATION = 0x40;
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

// Starts listing the folder named by `pattern`, which must end in a separator and `*`
// ("dir/*"); any other pattern fails. The whole listing is read here, so no descriptor
// stays open: "." and ".." and every other entry, in the directory's own order.
// Each entry is reported as Windows reports it:
// - a folder has FILE_ATTRIBUTE_DIRECTORY; its times are not read and stay zero;
// - a symbolic link to a folder has FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
//   any other link (to a file, dangling, a loop) has FILE_ATTRIBUTE_REPARSE_POINT alone
//   and counts as a file; a link's times are its own, never its target's;
// - anything else has FILE_ATTRIBUTE_NORMAL and its own times;
// - an entry that vanishes between the listing and its stat is left out.
// Names longer than MAX_PATH - 1 bytes are left out (Windows cannot report them either).
// Returns INVALID_HANDLE_VALUE when the folder cannot be opened or read, or the pattern is
// not of that form; otherwise a handle, with the first entry in `data`.
// A listing of the same folder asked for right after the last listing was closed (no other
// FindFirstFileA in between, as the walk's two passes over a folder do) repeats that
// listing without reading the folder again, when one stat shows that no entry was added,
// removed or renamed since; the times of its files are then those read the first time.
HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* data);

// Fills `data` with the next entry and returns 1; returns 0 at the end of the listing
// and for a handle that is not an open listing.
BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data);

// Ends a listing and gives back its memory. Returns 0 for a handle that is not open.
BOOL FindClose(HANDLE find);

// Makes a handle naming `path` for SetFileTime or GetFileInformationByHandle. Nothing is
// opened here: the path is looked up (following links) when the handle is used, and
// a missing path or one the caller may not change makes that later call fail.
// Fails with INVALID_HANDLE_VALUE only when the path is empty or longer than the
// system accepts, or every handle is in use. Access, sharing, creation disposition and
// flags are accepted as given: folders need no FILE_FLAG_BACKUP_SEMANTICS here.
HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);

// Sets the given times of the handle's file: `lastWrite` becomes the modification time,
// `lastAccess` the access time; an absent time stays as it was. `creation` is ignored:
// POSIX keeps no creation time. Times are exact to 100 ns. Returns non-zero on success,
// 0 when the file is gone or the caller may not change its times.
BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* lastAccess,
                 const FILETIME* lastWrite);

// Fills the identity of the handle's file (after links): the device in
// dwVolumeSerialNumber (folded to 32 bits), the inode in nFileIndexHigh and nFileIndexLow, plus its
// attributes and times. Two paths name the same folder exactly when the three agree.
// Returns 0 when the file cannot be looked up.
BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* info);

// Gives back a handle from CreateFileA. Returns 0 for a handle that is not open.
BOOL CloseHandle(HANDLE object);

// Shows a message the only way a command line can: a box with MB_ICONINFORMATION prints
// its text alone as one line on standard output; any other box prints "CAPTION: TEXT"
// as one line on standard error. The owner is ignored. Returns IDOK.
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
