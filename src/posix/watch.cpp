// Watching folders over inotify: one watch a folder, read on the caller's thread while it
// waits, with a stop event beside it in the same poll.
#include "handle_values.h"

#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <string>
#include <sys/inotify.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace {

struct Change {
    DWORD key;
    DWORD action;
    uint32_t nameAt; // in FolderWatch::names
    uint32_t nameLength;
};

struct FolderWatch {
    int descriptor;
    std::unordered_multimap<int, DWORD> keys; // each watch's keys: more than one through links
    std::vector<Change> changes;
    std::string names;
    size_t taken; // changes handed out so far
    bool lost;
};

constexpr size_t MOST_CHANGES = 65536;
// What a folder's watch reports: every change of its entries, its own times left out.
constexpr uint32_t WATCHED =
    IN_CREATE | IN_DELETE | IN_MODIFY | IN_ATTRIB | IN_MOVED_FROM | IN_MOVED_TO | IN_ONLYDIR;

FolderWatch* WatchOf(HANDLE watch) { return static_cast<FolderWatch*>(watch); }

int64_t NowMilliseconds()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

DWORD ActionOf(uint32_t mask)
{
    if (mask & IN_CREATE)
        return FILE_ACTION_ADDED;
    if (mask & IN_DELETE)
        return FILE_ACTION_REMOVED;
    if (mask & IN_MOVED_FROM)
        return FILE_ACTION_RENAMED_OLD_NAME;
    if (mask & IN_MOVED_TO)
        return FILE_ACTION_RENAMED_NEW_NAME;
    return FILE_ACTION_MODIFIED;
}

void AddChange(FolderWatch* watch, DWORD key, DWORD action, const char* name)
{
    uint32_t length = static_cast<uint32_t>(strlen(name));
    if (!watch->changes.empty()) {
        const Change& last = watch->changes.back();
        if (last.key == key && last.action == action && last.nameLength == length &&
            watch->names.compare(last.nameAt, length, name) == 0)
            return; // a file written in many pieces is one change
    }
    if (watch->changes.size() >= MOST_CHANGES) {
        watch->lost = true; // a flood: looking at the whole tree costs less than its changes
        return;
    }
    watch->changes.push_back(
        Change{key, action, static_cast<uint32_t>(watch->names.size()), length});
    watch->names.append(name, length);
}

// One event: the watch it names is gone (its keys go with it), the queue overflowed, or
// an entry changed. A folder's own events (no name) and a folder's times are left out:
// the program writes them itself, and whatever changes inside a folder is reported apart.
void NoteEvent(FolderWatch* watch, const inotify_event* event)
{
    if (event->mask & IN_Q_OVERFLOW) {
        watch->lost = true;
        return;
    }
    if (event->mask & IN_IGNORED) {
        watch->keys.erase(event->wd);
        return;
    }
    if (event->len == 0 || event->name[0] == '\0')
        return;
    if ((event->mask & IN_ATTRIB) && (event->mask & IN_ISDIR))
        return;
    auto range = watch->keys.equal_range(event->wd);
    for (auto it = range.first; it != range.second; ++it)
        AddChange(watch, it->second, ActionOf(event->mask), event->name);
}

// Reads every event waiting; returns whether any was read.
bool ReadEvents(FolderWatch* watch)
{
    alignas(inotify_event) char buffer[65536];
    bool any = false;
    for (;;) {
        ssize_t got = read(watch->descriptor, buffer, sizeof buffer);
        if (got <= 0)
            return any;
        any = true;
        for (ssize_t at = 0; at < got;) {
            auto event = reinterpret_cast<const inotify_event*>(buffer + at);
            NoteEvent(watch, event);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

bool Pending(const FolderWatch* watch)
{
    return watch->lost || watch->taken < watch->changes.size();
}

} // namespace

HANDLE CreateFolderWatch()
{
    int descriptor = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (descriptor < 0)
        return nullptr;
    return new FolderWatch{descriptor, {}, {}, {}, 0, false};
}

DWORD WatchFolder(HANDLE handle, const char* path, DWORD key, BOOL)
{
    FolderWatch* watch = WatchOf(handle);
    int id = inotify_add_watch(watch->descriptor, path, WATCHED);
    if (id < 0) {
        if (errno == ENOSPC)
            errno = static_cast<int>(ERROR_TOO_MANY_WATCHES);
        return 0;
    }
    auto range = watch->keys.equal_range(id);
    for (auto it = range.first; it != range.second; ++it)
        if (it->second == key)
            return static_cast<DWORD>(id);
    watch->keys.emplace(id, key);
    return static_cast<DWORD>(id);
}

BOOL UnwatchFolder(HANDLE handle, DWORD id, DWORD key)
{
    FolderWatch* watch = WatchOf(handle);
    int wd = static_cast<int>(id);
    auto range = watch->keys.equal_range(wd);
    for (auto it = range.first; it != range.second; ++it) {
        if (it->second != key)
            continue;
        watch->keys.erase(it);
        if (watch->keys.count(wd) == 0)
            inotify_rm_watch(watch->descriptor, wd);
        return TRUE;
    }
    return FALSE;
}

DWORD WaitForFolderChanges(HANDLE handle, HANDLE stop, DWORD settle, DWORD timeout, BOOL)
{
    FolderWatch* watch = WatchOf(handle);
    if (watch->taken >= watch->changes.size()) {
        watch->changes.clear(); // the memory stays for the next round
        watch->names.clear();
        watch->taken = 0;
    }
    int64_t quietFrom = NowMilliseconds(); // of the latest change, once one came
    int64_t started = quietFrom;
    for (;;) {
        int64_t now = NowMilliseconds();
        int64_t left = Pending(watch)        ? quietFrom + settle - now
                       : timeout == INFINITE ? -1
                                             : started + timeout - now;
        if (left == 0 || (left < 0 && (Pending(watch) || timeout != INFINITE)))
            return Pending(watch) ? (watch->lost ? WATCH_LOST : WATCH_CHANGES) : WATCH_TIMEOUT;
        pollfd wanted[2] = {{watch->descriptor, POLLIN, 0}, {EventDescriptorOf(stop), POLLIN, 0}};
        int ready = poll(wanted, stop ? 2 : 1, left < 0 ? -1 : static_cast<int>(left));
        if (ready < 0 && errno != EINTR)
            return WAIT_FAILED;
        if (ready > 0 && stop && (wanted[1].revents & POLLIN))
            return WATCH_STOPPED;
        if (ready > 0 && ReadEvents(watch) && Pending(watch))
            quietFrom = NowMilliseconds();
    }
}

BOOL TakeFolderChange(HANDLE handle, DWORD* key, DWORD* action, char* name, DWORD size)
{
    FolderWatch* watch = WatchOf(handle);
    if (watch->taken >= watch->changes.size() || size == 0)
        return FALSE;
    const Change& change = watch->changes[watch->taken++];
    *key = change.key;
    *action = change.action;
    size_t length = change.nameLength < size ? change.nameLength : size - 1;
    memcpy(name, watch->names.data() + change.nameAt, length);
    name[length] = '\0';
    return TRUE;
}

void CloseFolderWatch(HANDLE handle)
{
    FolderWatch* watch = WatchOf(handle);
    if (!watch)
        return;
    close(watch->descriptor);
    delete watch;
}
