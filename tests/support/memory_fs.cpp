// The in-memory file system: resolves paths by the platform's separator, follows links,
// lists "." and ".." first and then entries in the order they were added.
#include "memory_fs.h"

#include "platform_config.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {
DWORD lastError;
} // namespace

namespace memfs {
namespace {

struct Listing {
    int folder;
    size_t next; // 0 and 1 are "." and ".."
    int left; // entries still to deliver before an injected stop, or -1
};

struct FileHandle {
    int node;
    std::string path;
};

std::vector<Node> nodes;
std::map<std::string, std::string> fileTexts;
Faults injected;
std::vector<std::string> calls;
std::map<uintptr_t, Listing> listings;
std::map<uintptr_t, FileHandle> handles;
uintptr_t nextHandle = 0x1000;
size_t identityLookups;
std::vector<std::string> lateFailures; // failed writes not yet handed out
DWORD threadsAsked;

// A write that fails: at once, or handed out later as one written behind.
BOOL FailWrite(const std::string& path)
{
    if (!injected.lateWriteFailures) {
        lastError = EACCES;
        return FALSE;
    }
    lateFailures.push_back(path);
    return TRUE;
}

int Follow(int node)
{
    for (int hops = 0; node >= 0 && nodes[node].linkTarget >= 0 && hops < 64; hops++)
        node = nodes[node].linkTarget;
    return node;
}

// The walk asks for paths that share long prefixes, so resolving picks up where the
// previous path parted from this one; deep trees stay linear.
std::string lastPath;
std::vector<std::pair<size_t, int>> lastSteps; // (position after a component, folder)

// The entry of `folder` named `name` (the last one added, as the walk would meet it), or -1.
int ChildNamed(int folder, const std::string& name)
{
    int found = -1;
    for (int child : nodes[folder].children)
        if (nodes[child].name == name)
            found = child;
    return found;
}

// A path with ".." in it: each ".." leads to the parent of the folder reached so far (of a
// link's target, not of the link), as a system resolves it.
int ResolveWithParents(const std::string& path)
{
    int at = 0;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(PATH_SEPARATOR, start);
        if (end == std::string::npos)
            end = path.size();
        std::string part = path.substr(start, end - start);
        start = end + 1;
        if (part.empty())
            continue;
        if (part == "..") {
            at = nodes[at].parent;
            continue;
        }
        if (part == ".")
            continue;
        at = Follow(ChildNamed(at, part));
        if (at < 0 || (!nodes[at].folder && start <= path.size()))
            return -1;
    }
    return at;
}

int Resolve(const std::string& path)
{
    bool dots = false;
    for (size_t from = 0; from <= path.size();) {
        size_t to = path.find(PATH_SEPARATOR, from);
        to = to == std::string::npos ? path.size() : to;
        std::string part = path.substr(from, to - from);
        dots = dots || part == "." || part == "..";
        from = to + 1;
    }
    if (dots) {
        lastSteps.clear();
        lastPath.clear();
        return ResolveWithParents(path);
    }
    size_t common = 0;
    while (common < path.size() && common < lastPath.size() && path[common] == lastPath[common])
        common++;
    while (!lastSteps.empty() && lastSteps.back().first > common)
        lastSteps.pop_back();
    if (!lastSteps.empty() && lastSteps.back().first < path.size() &&
        path[lastSteps.back().first] != PATH_SEPARATOR)
        lastSteps.pop_back(); // that step ended inside a longer name
    int at = lastSteps.empty() ? 0 : lastSteps.back().second;
    size_t start = lastSteps.empty() ? 0 : lastSteps.back().first;
    lastPath = path;
    while (start < path.size()) {
        size_t end = path.find(PATH_SEPARATOR, start);
        if (end == std::string::npos)
            end = path.size();
        std::string part = path.substr(start, end - start);
        start = end + 1;
        if (part.empty())
            continue;
        at = Follow(ChildNamed(at, part));
        if (at < 0 || !nodes[at].folder) {
            lastSteps.clear();
            lastPath.clear();
            return (start >= path.size() && at >= 0) ? at : -1;
        }
        lastSteps.emplace_back(std::min(end, path.size()), at);
    }
    return at;
}

int Add(int parent, const std::string& name, bool folder, uint64_t time, int target)
{
    nodes.push_back(Node{name, folder, time, target, {}, 1, 0, parent});
    int id = static_cast<int>(nodes.size()) - 1;
    nodes[parent].children.push_back(id);
    return id;
}

std::string Describe(const std::string& verb, const std::string& path)
{
    return injected.quiet ? std::string() : verb + " " + path;
}

void Record(const std::string& line)
{
    if (!injected.quiet)
        calls.push_back(line);
}

// Fills `data` with the listing's next entry; false at its end.
bool Deliver(Listing& listing, WIN32_FIND_DATAA* data)
{
    const Node& folder = nodes[listing.folder];
    if (listing.left == 0 || listing.next >= folder.children.size() + 2)
        return false;
    memset(data, 0, sizeof *data);
    if (listing.next < 2) {
        data->dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
        strcpy(data->cFileName, listing.next == 0 ? "." : "..");
    } else {
        const Node& entry = nodes[folder.children[listing.next - 2]];
        int target = Follow(folder.children[listing.next - 2]);
        bool isFolder = target >= 0 && nodes[target].folder;
        data->dwFileAttributes = isFolder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
        if (entry.linkTarget >= 0) {
            data->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
            data->dwReserved0 = IO_REPARSE_TAG_SYMLINK;
        }
        data->ftLastWriteTime = MakeTime(entry.time);
        strcpy(data->cFileName, entry.name.c_str());
    }
    listing.next++;
    if (listing.left > 0)
        listing.left--;
    return true;
}

bool ListingRefused(const std::string& folder)
{
    if (injected.listingFails.count(folder))
        return true;
    auto once = injected.listingOnce.find(folder);
    if (once != injected.listingOnce.end() && once->second > 0) {
        once->second--;
        return true;
    }
    return false;
}

} // namespace

void Reset()
{
    nodes.assign(1, Node{"", true, 0, -1, {}, 1, 0, 0});
    lastPath.clear();
    lastSteps.clear();
    injected = Faults();
    lateFailures.clear();
    threadsAsked = 0;
    calls.clear();
    listings.clear();
    handles.clear();
    identityLookups = 0;
    fileTexts.clear();
    Watched().clear();
}

int AddFolder(int parent, const std::string& name, uint64_t time)
{
    return Add(parent, name, true, time, -1);
}
int AddFile(int parent, const std::string& name, uint64_t time)
{
    return Add(parent, name, false, time, -1);
}
int AddLink(int parent, const std::string& name, int target)
{
    return Add(parent, name, false, 7, target);
}
uint64_t TimeOf(int node) { return nodes[node].time; }
uint64_t CreatedOf(int node) { return nodes[node].created; }
void SetCreated(int node, uint64_t time) { nodes[node].created = time; }
void SetExtraNanoseconds(int node, uint32_t nanoseconds)
{
    nodes[node].extraNanoseconds = nanoseconds;
}
void SetIdentity(int node, DWORD volume, DWORD index)
{
    nodes[node].volume = volume;
    nodes[node].index = index;
}
Faults& faults() { return injected; }
std::vector<std::string>& log() { return calls; }
int OpenListings() { return static_cast<int>(listings.size()); }
int OpenHandles() { return static_cast<int>(handles.size()); }
size_t Lookups() { return identityLookups; }

std::string Path(std::initializer_list<std::string> parts)
{
    std::string joined;
    for (const std::string& part : parts)
        joined += (joined.empty() ? "" : std::string(1, PATH_SEPARATOR)) + part;
    return joined;
}

FILETIME MakeTime(uint64_t ticks)
{
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}
uint64_t Ticks(FILETIME time)
{
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

} // namespace memfs

using namespace memfs;

void memfs::SetFileText(const std::string& path, const std::string& text)
{
    fileTexts[path] = text;
}

char* ReadWholeFile(const char* path, size_t* length)
{
    auto found = fileTexts.find(path);
    if (found == fileTexts.end()) {
        lastError = ENOENT;
        return nullptr;
    }
    char* text = static_cast<char*>(malloc(found->second.size() + 1));
    memcpy(text, found->second.c_str(), found->second.size() + 1);
    *length = found->second.size();
    return text;
}

// The moment a walk begins: 2200-01-01, past every time the tests give their files but
// those that stand for the future.
void GetSystemTimeAsFileTime(FILETIME* now) { *now = MakeTime(197232192000000000ull); }

// Threads are only asked for here: every call is made where it is made.
DWORD UseFileThreads(const char*, DWORD count)
{
    threadsAsked = count;
    return 1;
}

DWORD memfs::ThreadsAsked() { return threadsAsked; }

// The rounds of --every: each wait ends at once, as if its time had passed, until the
// rounds asked for are done; then the stop comes, as from Ctrl-C.
int roundsLeft;
bool stopSet;
PHANDLER_ROUTINE consoleHandler;

void memfs::StopAfterRounds(int rounds) { roundsLeft = rounds; }

BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add)
{
    consoleHandler = add ? handler : nullptr;
    return TRUE;
}

HANDLE CreateEventA(SECURITY_ATTRIBUTES*, BOOL, BOOL initialState, LPCSTR)
{
    stopSet = initialState;
    return reinterpret_cast<HANDLE>(0x5E7);
}

BOOL SetEvent(HANDLE)
{
    stopSet = true;
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE, DWORD)
{
    if (!stopSet && roundsLeft-- <= 0 && consoleHandler)
        consoleHandler(CTRL_C_EVENT);
    Record("wait");
    return stopSet ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

void GetLocalTime(SYSTEMTIME* now) { *now = SYSTEMTIME{2026, 12, 4, 10, 23, 59, 49, 0}; }

BOOL TakeFailedWrite(DWORD wait, char* path, DWORD size, DWORD* error)
{
    if (!wait || lateFailures.empty() || size == 0)
        return FALSE;
    std::string first = lateFailures.front();
    lateFailures.erase(lateFailures.begin());
    snprintf(path, size, "%s", first.c_str());
    *error = EACCES;
    return TRUE;
}

// The in-memory file system has no current folder: the lists keep paths as given.
DWORD GetCurrentDirectoryA(DWORD, char*)
{
    lastError = ENOENT;
    return 0;
}

DWORD GetLastError() { return lastError; }
void SetLastError(DWORD code) { lastError = code; }

DWORD FormatMessageA(DWORD, const void*, DWORD code, DWORD, char* buffer, DWORD size, va_list*)
{
    std::string text = code == EACCES ? "Permission denied" : "error " + std::to_string(code);
    if (text.size() >= size)
        return 0;
    memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
}

BOOL GetFileExactTime(HANDLE file, ExactTime* lastWrite)
{
    auto handle = handles.find(reinterpret_cast<uintptr_t>(file));
    if (handle == handles.end())
        return FALSE;
    const Node& node = nodes[handle->second.node];
    *lastWrite =
        ExactTime{static_cast<int64_t>(node.time / 10000000),
                  static_cast<uint32_t>(node.time % 10000000) * 100 + node.extraNanoseconds};
    return TRUE;
}

BOOL SetFileExactTime(HANDLE file, const ExactTime* lastWrite)
{
    if (lastWrite->seconds < 0)
        return FALSE;
    uint64_t ticks =
        static_cast<uint64_t>(lastWrite->seconds) * 10000000 + lastWrite->nanoseconds / 100;
    FILETIME time = MakeTime(ticks);
    return SetFileTime(file, nullptr, nullptr, &time);
}

HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* data)
{
    std::string text = pattern;
    Record(Describe("list", text));
    if (text.size() < 2 || text.back() != '*' || text[text.size() - 2] != PATH_SEPARATOR)
        return INVALID_HANDLE_VALUE;
    std::string folderPath = text.substr(0, text.size() - 2);
    int folder = Resolve(folderPath);
    if (folder < 0 || !nodes[folder].folder) {
        lastError = ENOENT;
        return INVALID_HANDLE_VALUE;
    }
    if (ListingRefused(folderPath)) {
        lastError = EACCES;
        return INVALID_HANDLE_VALUE;
    }
    auto stop = injected.listingStops.find(folderPath);
    Listing listing = {folder, 0, stop == injected.listingStops.end() ? -1 : stop->second};
    if (!Deliver(listing, data))
        return INVALID_HANDLE_VALUE;
    uintptr_t value = nextHandle++;
    listings[value] = listing;
    return reinterpret_cast<HANDLE>(value);
}

BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data)
{
    auto listing = listings.find(reinterpret_cast<uintptr_t>(find));
    return listing != listings.end() && Deliver(listing->second, data);
}

BOOL FindClose(HANDLE find) { return listings.erase(reinterpret_cast<uintptr_t>(find)) == 1; }

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD, SECURITY_ATTRIBUTES*, DWORD, DWORD, HANDLE)
{
    std::string text = path;
    if (access == 0)
        identityLookups++;
    else
        Record(Describe("open", text));
    int node = Resolve(text);
    if (node < 0 || (access != 0 && injected.openFails.count(text))) {
        lastError = node < 0 ? ENOENT : EACCES;
        return INVALID_HANDLE_VALUE;
    }
    uintptr_t value = nextHandle++;
    handles[value] = FileHandle{node, text};
    return reinterpret_cast<HANDLE>(value);
}

BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* lastAccess,
                 const FILETIME* lastWrite)
{
    auto handle = handles.find(reinterpret_cast<uintptr_t>(file));
    if (handle == handles.end() || lastAccess || (!lastWrite && !creation))
        return FALSE;
    Node& node = nodes[handle->second.node];
    if (lastWrite) {
        Record(Describe("set", handle->second.path) + " " + std::to_string(Ticks(*lastWrite)));
        if (injected.setTimeFails.count(handle->second.path))
            return FailWrite(handle->second.path);
        node.time = Ticks(*lastWrite);
        node.time -= node.folder ? node.time % injected.folderTimeGrain : 0;
        node.extraNanoseconds = 0;
    }
    if (creation)
        node.created = Ticks(*creation);
    return TRUE;
}

BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* info)
{
    auto handle = handles.find(reinterpret_cast<uintptr_t>(file));
    if (handle == handles.end())
        return FALSE;
    memset(info, 0, sizeof *info);
    const Node& node = nodes[handle->second.node];
    info->dwVolumeSerialNumber = node.volume;
    info->nFileIndexLow = node.index ? node.index : static_cast<DWORD>(handle->second.node);
    info->ftLastWriteTime = MakeTime(node.time);
    info->ftCreationTime = MakeTime(node.created);
    return TRUE;
}

BOOL CloseHandle(HANDLE object) { return handles.erase(reinterpret_cast<uintptr_t>(object)) == 1; }

// --watch, scripted: every wait runs the test's step, which changes the tree and reports
// the changes; they are handed out as a real watch hands them out.
namespace {

bool (*watchScript)(int);
int waits;
bool changesLost;
int watchesLeft = -1;
struct PendingChange {
    DWORD key;
    DWORD action;
    std::string name;
};
std::vector<PendingChange> pending;

} // namespace

std::vector<memfs::WatchedPath>& memfs::Watched()
{
    static std::vector<WatchedPath> watched;
    return watched;
}

void memfs::SetWatchScript(bool (*step)(int))
{
    watchScript = step;
    waits = 0;
    changesLost = false;
    watchesLeft = -1;
    pending.clear();
}

void memfs::ReportChange(const std::string& folder, DWORD action, const std::string& name)
{
    lastPath.clear(); // the tree changed under the resolver's memory
    lastSteps.clear();
    for (const WatchedPath& watched : Watched())
        if (watched.path == folder)
            pending.push_back(PendingChange{watched.key, action, name});
}

void memfs::LoseChanges() { changesLost = true; }
void memfs::FailWatchAfter(int watches) { watchesLeft = watches; }

void memfs::RemoveEntry(int parent, const std::string& name)
{
    auto& children = nodes[parent].children;
    children.erase(std::remove_if(children.begin(), children.end(),
                                  [&](int child) { return nodes[child].name == name; }),
                   children.end());
    lastPath.clear();
    lastSteps.clear();
}

void memfs::SetTime(int node, uint64_t time) { nodes[node].time = time; }

HANDLE CreateFolderWatch()
{
    memfs::Watched().clear();
    return reinterpret_cast<HANDLE>(0x3A7C);
}

DWORD WatchFolder(HANDLE, const char* path, DWORD key, BOOL root)
{
    if (watchesLeft == 0) {
        lastError = ERROR_NOT_ENOUGH_MEMORY;
        return 0;
    }
    watchesLeft -= watchesLeft > 0;
    std::string spelled = path;
    if (spelled.size() > 1 && spelled.back() == PATH_SEPARATOR)
        spelled.pop_back();
    memfs::Watched().push_back(memfs::WatchedPath{spelled, key, root != 0});
    Record("watch " + spelled);
    return key + 1;
}

BOOL UnwatchFolder(HANDLE, DWORD id, DWORD key)
{
    auto& watched = memfs::Watched();
    for (size_t i = 0; i < watched.size(); i++) {
        if (watched[i].key == key && id == key + 1) {
            Record("unwatch " + watched[i].path);
            watched.erase(watched.begin() + static_cast<std::ptrdiff_t>(i));
            return TRUE;
        }
    }
    return FALSE;
}

DWORD WaitForFolderChanges(HANDLE, HANDLE, DWORD, DWORD timeout, BOOL)
{
    Record("wait for changes");
    if (!pending.empty())
        return WATCH_CHANGES;
    if (!watchScript || !watchScript(++waits))
        return WATCH_STOPPED;
    if (changesLost) {
        changesLost = false;
        pending.clear();
        return WATCH_LOST;
    }
    return !pending.empty() ? WATCH_CHANGES : timeout != INFINITE ? WATCH_TIMEOUT : WATCH_STOPPED;
}

BOOL TakeFolderChange(HANDLE, DWORD* key, DWORD* action, char* name, DWORD size)
{
    if (pending.empty())
        return FALSE;
    *key = pending.front().key;
    *action = pending.front().action;
    snprintf(name, size, "%s", pending.front().name.c_str());
    pending.erase(pending.begin());
    return TRUE;
}

void CloseFolderWatch(HANDLE) { memfs::Watched().clear(); }
