// Watching folders with ReadDirectoryChangesW: one watch of the whole subtree for each top
// and each folder reached through a link or junction, read on the caller's thread while it
// waits, with the stop event (and, in a window, its messages) beside them.
#define CHRONOTREE_SYSTEM_NAMES
#include "long_paths.h"
#include "wide_text.h"
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// A share accepts at most 64 KB for one request.
constexpr DWORD BUFFER_SIZE = 65536;
// Room in one wait for the stop event and every subtree.
constexpr DWORD MOST_ROOTS = MAXIMUM_WAIT_OBJECTS - 1;
// What one round may gather: past this the whole tree is looked at instead. Both are taken
// at once, and only the pages written to are ever made real.
constexpr size_t MOST_CHANGES = 65536;
constexpr size_t NAMES_SIZE = 4 << 20;
// A file's time set back by a tool is a change of its last-write time on Windows; Wine
// reports it as one of its attributes alone.
constexpr DWORD WATCHED = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                          FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_ATTRIBUTES;

struct Root {
    HANDLE folder; // null when the slot is free
    OVERLAPPED overlapped;
    DWORD key;
    DWORD* buffer; // DWORD-aligned, as the call asks
};

struct Change {
    DWORD key;
    DWORD action;
    uint32_t nameAt;
    uint32_t nameLength;
};

struct FolderWatch {
    Root roots[MOST_ROOTS];
    Change* changes; // MOST_CHANGES of them
    size_t changeCount;
    char* names; // NAMES_SIZE bytes
    size_t namesUsed;
    size_t taken;
    bool lost;
    // When the latest change came: kept across calls, so that a wait cut short by a window
    // message goes on counting the quiet from there.
    DWORD quietFrom;
};

FolderWatch* WatchOf(HANDLE watch) { return static_cast<FolderWatch*>(watch); }

bool Read(Root* root)
{
    ResetEvent(root->overlapped.hEvent);
    return ReadDirectoryChangesW(root->folder, root->buffer, BUFFER_SIZE, TRUE, WATCHED, nullptr,
                                 &root->overlapped, nullptr) != 0;
}

void CloseRoot(Root* root)
{
    if (!root->folder)
        return;
    CancelIo(root->folder);
    DWORD ignored = 0;
    GetOverlappedResult(root->folder, &root->overlapped, &ignored, TRUE);
    CloseHandle(root->folder);
    CloseHandle(root->overlapped.hEvent);
    free(root->buffer);
    root->folder = nullptr;
}

void AddChange(FolderWatch* watch, DWORD key, DWORD action, const wchar_t* name, size_t units)
{
    static char text[WIDE_PATH_SIZE * 3]; // a path below the watched folder, in UTF-8
    size_t length = Utf8FromWide(name, units, text, sizeof text);
    if (length == TEXT_DOES_NOT_FIT)
        return;
    if (watch->changeCount > 0) {
        const Change& last = watch->changes[watch->changeCount - 1];
        if (last.key == key && last.action == action && last.nameLength == length &&
            memcmp(watch->names + last.nameAt, text, length) == 0)
            return; // a file written in many pieces is one change
    }
    if (watch->changeCount >= MOST_CHANGES || length > NAMES_SIZE - watch->namesUsed) {
        watch->lost = true; // too many to keep: the whole tree is looked at instead
        return;
    }
    watch->changes[watch->changeCount++] =
        Change{key, action, static_cast<uint32_t>(watch->namesUsed), static_cast<uint32_t>(length)};
    memcpy(watch->names + watch->namesUsed, text, length);
    watch->namesUsed += length;
}

// A request has ended: its entries are noted, and the next request starts. An empty one,
// or one the system could not fill (ERROR_NOTIFY_ENUM_DIR), lost changes.
void Collect(FolderWatch* watch, Root* root)
{
    DWORD bytes = 0;
    if (!GetOverlappedResult(root->folder, &root->overlapped, &bytes, FALSE) || bytes == 0) {
        watch->lost = true;
    } else {
        auto at = reinterpret_cast<const uint8_t*>(root->buffer);
        for (;;) {
            auto entry = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(at);
            AddChange(watch, root->key, entry->Action, entry->FileName,
                      entry->FileNameLength / sizeof(wchar_t));
            if (entry->NextEntryOffset == 0)
                break;
            at += entry->NextEntryOffset;
        }
    }
    if (!Read(root)) {
        watch->lost = true; // the folder is gone, or refuses: the whole tree is looked at
        CloseRoot(root);
    }
}

bool Pending(const FolderWatch* watch) { return watch->lost || watch->taken < watch->changeCount; }

} // namespace

HANDLE CreateFolderWatch()
{
    auto watch = static_cast<FolderWatch*>(calloc(1, sizeof(FolderWatch)));
    if (watch) {
        watch->changes = static_cast<Change*>(malloc(MOST_CHANGES * sizeof(Change)));
        watch->names = static_cast<char*>(malloc(NAMES_SIZE));
    }
    if (!watch || !watch->changes || !watch->names) {
        if (watch) {
            free(watch->changes);
            free(watch->names);
        }
        free(watch);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return watch;
}

DWORD WatchFolder(HANDLE handle, const char* path, DWORD key, BOOL root)
{
    FolderWatch* watch = WatchOf(handle);
    if (!root)
        return 1; // the watch of the subtree above it reports its changes
    DWORD slot = 0;
    while (slot < MOST_ROOTS && watch->roots[slot].folder)
        slot++;
    if (slot == MOST_ROOTS) {
        SetLastError(ERROR_TOO_MANY_OPEN_FILES);
        return 0;
    }
    static wchar_t wide[WIDE_PATH_SIZE];
    if (ResolveWidePath(path, strlen(path), false, wide) == 0) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    Root* at = &watch->roots[slot];
    at->folder = CreateFileW(
        wide, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    if (at->folder == INVALID_HANDLE_VALUE) {
        at->folder = nullptr;
        return 0;
    }
    at->overlapped = OVERLAPPED{};
    at->overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    at->buffer = static_cast<DWORD*>(malloc(BUFFER_SIZE));
    at->key = key;
    if (!at->overlapped.hEvent || !at->buffer || !Read(at)) {
        DWORD error =
            at->buffer && at->overlapped.hEvent ? GetLastError() : ERROR_NOT_ENOUGH_MEMORY;
        CloseHandle(at->folder);
        if (at->overlapped.hEvent)
            CloseHandle(at->overlapped.hEvent);
        free(at->buffer);
        at->folder = nullptr;
        SetLastError(error); // a share that refuses change notification
        return 0;
    }
    return slot + 2;
}

BOOL UnwatchFolder(HANDLE handle, DWORD id, DWORD key)
{
    FolderWatch* watch = WatchOf(handle);
    if (id == 1)
        return TRUE;
    if (id < 2 || id - 2 >= MOST_ROOTS || !watch->roots[id - 2].folder ||
        watch->roots[id - 2].key != key)
        return FALSE;
    CloseRoot(&watch->roots[id - 2]);
    return TRUE;
}

DWORD WaitForFolderChanges(HANDLE handle, HANDLE stop, DWORD settle, DWORD timeout, BOOL messages)
{
    FolderWatch* watch = WatchOf(handle);
    if (watch->taken >= watch->changeCount) {
        watch->changeCount = 0; // the memory stays for the next round
        watch->namesUsed = 0;
        watch->taken = 0;
    }
    DWORD started = GetTickCount();
    for (;;) {
        HANDLE handles[MAXIMUM_WAIT_OBJECTS];
        Root* of[MAXIMUM_WAIT_OBJECTS] = {};
        DWORD count = 0;
        if (stop)
            handles[count++] = stop;
        for (Root& root : watch->roots)
            if (root.folder) {
                of[count] = &root;
                handles[count++] = root.overlapped.hEvent;
            }
        DWORD now = GetTickCount();
        DWORD wait = INFINITE;
        if (Pending(watch))
            wait = now - watch->quietFrom >= settle ? 0 : settle - (now - watch->quietFrom);
        else if (timeout != INFINITE)
            wait = now - started >= timeout ? 0 : timeout - (now - started);
        DWORD result = messages
                           ? MsgWaitForMultipleObjects(count, handles, FALSE, wait, QS_ALLINPUT)
                       : count ? WaitForMultipleObjects(count, handles, FALSE, wait)
                               : (Sleep(wait), WAIT_TIMEOUT);
        if (result == WAIT_TIMEOUT)
            return Pending(watch) ? (watch->lost ? WATCH_LOST : WATCH_CHANGES) : WATCH_TIMEOUT;
        if (result == WAIT_FAILED)
            return WAIT_FAILED;
        DWORD index = result - WAIT_OBJECT_0;
        if (messages && index == count)
            return WATCH_MESSAGE;
        if (stop && index == 0)
            return WATCH_STOPPED;
        if (index < count && of[index]) {
            Collect(watch, of[index]);
            watch->quietFrom = GetTickCount();
        }
    }
}

BOOL TakeFolderChange(HANDLE handle, DWORD* key, DWORD* action, char* name, DWORD size)
{
    FolderWatch* watch = WatchOf(handle);
    if (watch->taken >= watch->changeCount || size == 0)
        return FALSE;
    const Change& change = watch->changes[watch->taken++];
    *key = change.key;
    *action = change.action;
    size_t length = change.nameLength < size ? change.nameLength : size - 1;
    memcpy(name, watch->names + change.nameAt, length);
    name[length] = '\0';
    return TRUE;
}

void CloseFolderWatch(HANDLE handle)
{
    FolderWatch* watch = WatchOf(handle);
    if (!watch)
        return;
    for (Root& root : watch->roots)
        CloseRoot(&root);
    free(watch->changes);
    free(watch->names);
    free(watch);
}
