// The stack of held folders. Each level is one folder on the path, opened with openat
// relative to the level above, so that a call costs the same at any depth and a path longer
// than PATH_MAX still resolves. Past the descriptor budget some levels are let go of (their
// device and inode kept) and opened again, and checked, when the walk comes back to them.
#include "held_folders.h"

#include "file_threads.h"
#include "growing_block.h"
#include "listing_entries.h"
#include "path_stretches.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// Enough for every plain tree and the benchmark's chains; past it, levels are let go of.
constexpr size_t MOST_DESCRIPTORS = 4096;
constexpr size_t FEWEST_DESCRIPTORS = 4;

struct Level {
    size_t end; // the folder's path is spelled[0, end)
    int fd; // -1 once let go of
    int slot; // its place in `held`, or -1
    uint64_t serial;
    bool known; // dev and ino hold the folder's identity
    bool atStart;
    dev_t dev;
    ino_t ino;
};

char* spelled; // the deepest level's path
size_t spelledCapacity;
Level* levels;
size_t levelCount;
size_t levelCapacity;
size_t* held; // indices of the levels with a descriptor
size_t heldCount;
size_t heldCapacity;
size_t ownDescriptors; // wide listings' descriptors
size_t budget;
size_t reserved; // what the read-ahead and write-behind threads may hold of the budget
uint64_t nextSerial = 1;
int uses; // open listings and file handles
bool stale; // every use has ended since the levels were opened

// How many descriptors the layer keeps at most: half the process's limit, within bounds.
size_t DescriptorBudget()
{
    if (budget == 0) {
        rlimit limit = {};
        size_t half = getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
                          ? static_cast<size_t>(limit.rlim_cur) / 2
                          : MOST_DESCRIPTORS;
        budget = half < FEWEST_DESCRIPTORS ? FEWEST_DESCRIPTORS
                 : half > MOST_DESCRIPTORS ? MOST_DESCRIPTORS
                                           : half;
        reserved = WorkerDescriptors(budget);
    }
    return budget;
}

void Unhold(size_t index)
{
    Level& level = levels[index];
    size_t slot = static_cast<size_t>(level.slot);
    held[slot] = held[--heldCount];
    levels[held[slot]].slot = static_cast<int>(slot);
    level.slot = -1;
    close(level.fd);
    level.fd = -1;
}

// Keeps the device and inode of a held level, to tell later whether its path still names it.
// Asks for the inode alone (the device always comes): on a network file system a full
// stat goes to the server once reading the folder has made its access time stale.
void RecordIdentity(Level* level)
{
    struct statx found;
    level->known =
        statx(level->fd, "", AT_EMPTY_PATH, STATX_INO, &found) == 0 && (found.stx_mask & STATX_INO);
    level->dev = makedev(found.stx_dev_major, found.stx_dev_minor);
    level->ino = found.stx_ino;
}

unsigned Ruler(size_t index) { return static_cast<unsigned>(__builtin_ctzll(index)); }

constexpr size_t NO_LEVEL = static_cast<size_t>(-1);

// Lets go of the held level that is cheapest to come back to: levels at multiples of high
// powers of two are kept longest, so that coming back up a chain deeper than the budget
// reopens each stretch from a nearby kept level (the square of the depth never returns).
// The first level is kept: it is the base every other level is reopened from; so is
// `keep`, the base of an open under way.
bool LetGoOfOne(size_t keep)
{
    size_t victim = 0;
    for (size_t i = 0; i < heldCount; i++) {
        size_t index = held[i];
        if (index == 0 || index == keep)
            continue;
        if (victim == 0 || Ruler(index) < Ruler(victim) ||
            (Ruler(index) == Ruler(victim) && index < victim))
            victim = index;
    }
    if (victim == 0)
        return false;
    RecordIdentity(&levels[victim]);
    Unhold(victim);
    return true;
}

// Makes room within the budget for one more descriptor, if any held level can go.
void MakeRoom(size_t keep)
{
    while (heldCount + ownDescriptors + reserved >= DescriptorBudget() && LetGoOfOne(keep)) { }
}

bool Hold(size_t index, int fd)
{
    if (!Grow(&held, &heldCapacity, heldCount + 1)) {
        close(fd);
        return false;
    }
    levels[index].fd = fd;
    levels[index].slot = static_cast<int>(heldCount);
    levels[index].atStart = true;
    held[heldCount++] = index;
    return true;
}

void PopTo(size_t count)
{
    while (levelCount > count) {
        levelCount--;
        if (levels[levelCount].fd >= 0)
            Unhold(levelCount);
    }
}

// openat that lets go of a held level and tries again when the process is out of
// descriptors, whatever else holds them.
// `keep` is the level of `base`, which must stay open.
int OpenAt(int base, const char* name, size_t keep)
{
    MakeRoom(keep);
    for (;;) {
        int fd = openat(base, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0 || (errno != EMFILE && errno != ENFILE) || !LetGoOfOne(keep))
            return fd;
    }
}

// Opens path[from, to) relative to `base`; the stretch is copied out to end it with a NUL.
int OpenStretch(int base, const char* path, size_t from, size_t to, size_t keep)
{
    char name[PATH_MAX];
    size_t length = to - from;
    if (length >= sizeof name) {
        errno = ENAMETOOLONG;
        return -1;
    }
    memcpy(name, path + from, length);
    name[length] = '\0';
    return OpenAt(base, name, keep);
}

size_t LevelEnd(size_t count) { return count ? levels[count - 1].end : 0; }

// How many levels, from the first, lie on `path`.
size_t MatchingLevels(const char* path, size_t length)
{
    size_t spelledLength = LevelEnd(levelCount);
    size_t common = CommonPrefix(path, spelled, length < spelledLength ? length : spelledLength);
    size_t low = 0, high = levelCount; // binary search: the levels whose end is within `common`
    while (low < high) {
        size_t middle = (low + high) / 2;
        if (levels[middle].end <= common)
            low = middle + 1;
        else
            high = middle;
    }
    size_t count = low;
    if (count > 0) {
        size_t end = levels[count - 1].end;
        bool boundary = end == length || path[end] == '/' || spelled[end - 1] == '/';
        if (end == common && !boundary)
            count--;
    }
    return count;
}

bool SameFolder(int fd, const Level& level)
{
    struct stat found;
    return level.known && fstat(fd, &found) == 0 && found.st_dev == level.dev &&
           found.st_ino == level.ino;
}

// Opens again the levels up to `index` that were let go of, each checked to be the folder
// that was held.
int Reopen(size_t index)
{
    size_t from = index;
    while (levels[from].fd < 0)
        from--;
    for (size_t at = from + 1; at <= index; at++) {
        if (levels[at].fd >= 0)
            continue;
        size_t start = StretchStart(spelled, levels[at - 1].end);
        int fd = OpenStretch(levels[at - 1].fd, spelled, start, levels[at].end, at - 1);
        if (fd < 0)
            return -1;
        if (!SameFolder(fd, levels[at])) {
            close(fd);
            errno = ENOENT; // moved or replaced: the folder that was held is not there
            return -1;
        }
        if (!Hold(at, fd))
            return -1;
    }
    return levels[index].fd;
}

bool Push(size_t end, int fd)
{
    if (levelCount == 0)
        budget = 0; // a walk from nothing reads the process's limit afresh
    if (!Grow(&levels, &levelCapacity, levelCount + 1)) {
        close(fd);
        return false;
    }
    levels[levelCount] = Level{end, -1, -1, nextSerial++, false, true, 0, 0};
    if (!Hold(levelCount, fd))
        return false;
    levelCount++;
    return true;
}

// Opens path[LevelEnd(levelCount), length) below the deepest level, a stretch at a time.
int Extend(const char* path, size_t length)
{
    if (!Grow(&spelled, &spelledCapacity, length))
        return -1;
    size_t from = LevelEnd(levelCount);
    memcpy(spelled + from, path + from, length - from);
    int base = levelCount ? Reopen(levelCount - 1) : AT_FDCWD;
    while (base != -1 && from < length) {
        size_t start = StretchStart(path, from);
        if (start >= length)
            break;
        size_t end = StretchEnd(path, start, length);
        int fd = OpenStretch(base, path, start, end, levelCount ? levelCount - 1 : NO_LEVEL);
        if (fd < 0 || !Push(end, fd))
            return -1;
        base = fd;
        from = end;
    }
    return base;
}

// After every listing and handle has closed, the folders may have been moved or replaced:
// only the first level is kept, and only while its path still names it.
void CheckStaleLevels(const char* path, size_t length)
{
    if (!stale)
        return;
    stale = false;
    PopTo(levelCount ? 1 : 0);
    if (levelCount == 0 || MatchingLevels(path, length) == 0) {
        PopTo(0);
        return;
    }
    RecordIdentity(&levels[0]);
    int again = OpenStretch(AT_FDCWD, spelled, 0, levels[0].end, 0);
    bool same = again >= 0 && SameFolder(again, levels[0]);
    if (again >= 0)
        close(again);
    if (!same)
        PopTo(0);
}

// Such a path is resolved by the system from the deepest held folder it begins with, and
// nothing is held for it: looking above a folder must not change what the walk holds.
int LookUpAsItStands(const char* path, size_t length, size_t matching, const char** name)
{
    int base = matching > 0 ? Reopen(matching - 1) : AT_FDCWD;
    size_t from = matching > 0 ? levels[matching - 1].end : 0;
    while (from < length && path[from] == '/' && matching > 0)
        from++;
    if (length - from >= PATH_MAX) {
        errno = ENAMETOOLONG;
        return -1;
    }
    *name = path + from;
    return base;
}

} // namespace

int HoldFolder(const char* path, size_t length, uint64_t* serial, bool* atStart)
{
    length = WithoutTrailingSeparators(path, length);
    if (length == 0) {
        errno = ENOENT;
        return -1;
    }
    CheckStaleLevels(path, length);
    size_t matching = MatchingLevels(path, length);
    PopTo(matching);
    int fd = LevelEnd(levelCount) == length ? Reopen(levelCount - 1) : Extend(path, length);
    if (fd < 0)
        return -1;
    Level& level = levels[levelCount - 1];
    *serial = level.serial;
    *atStart = level.atStart;
    level.atStart = false;
    return fd;
}

int AdoptFolder(const char* path, size_t length, int folder, const timespec& mark, uint64_t* serial)
{
    length = WithoutTrailingSeparators(path, length);
    CheckStaleLevels(path, length);
    PopTo(MatchingLevels(path, length));
    size_t from = LevelEnd(levelCount);
    size_t start = StretchStart(path, from);
    bool oneBelow = levelCount > 0 && start < length && length - start < PATH_MAX &&
                    !memchr(path + start, '/', length - start);
    int parent = oneBelow ? Reopen(levelCount - 1) : -1;
    // A name added, removed or renamed in the parent since the folder was opened: the name
    // may no longer lead to it.
    if (parent < 0 || !UnchangedSince(parent, mark) || !Grow(&spelled, &spelledCapacity, length)) {
        close(folder);
        return -1;
    }
    memcpy(spelled + from, path + from, length - from);
    MakeRoom(levelCount - 1);
    if (!Push(length, folder))
        return -1;
    Level& level = levels[levelCount - 1];
    level.atStart = false;
    *serial = level.serial;
    return folder;
}

uint64_t HeldParentSerial() { return levelCount >= 2 ? levels[levelCount - 2].serial : 0; }

int HoldEntry(const char* path, const char** name)
{
    size_t length = strlen(path);
    if (length == 0) {
        errno = ENOENT;
        return -1;
    }
    CheckStaleLevels(path, length);
    size_t matching = MatchingLevels(path, length);
    if (EndsInDots(path, length))
        return LookUpAsItStands(path, length, matching, name);
    if (matching > 0 && levels[matching - 1].end == length) {
        *name = nullptr;
        return Reopen(matching - 1);
    }
    const char* last = strrchr(path, '/');
    if (!last) {
        *name = path;
        return AT_FDCWD;
    }
    *name = last + 1;
    if (last[1] == '\0') // the root itself
        *name = ".";
    uint64_t serial;
    bool atStart;
    return HoldFolder(path, last == path ? 1 : static_cast<size_t>(last - path), &serial, &atStart);
}

void ReserveForWorkers() { reserved = WorkerDescriptors(DescriptorBudget()); }

void NoteUseBegins() { uses++; }

void NoteUseEnds()
{
    if (--uses == 0)
        stale = true;
}

int DuplicateForListing(int folder)
{
    // The folder being listed is the deepest level: it stays.
    size_t keep = levelCount ? levelCount - 1 : NO_LEVEL;
    MakeRoom(keep);
    int copy = fcntl(folder, F_DUPFD_CLOEXEC, 0);
    while (copy < 0 && (errno == EMFILE || errno == ENFILE) && LetGoOfOne(keep))
        copy = fcntl(folder, F_DUPFD_CLOEXEC, 0);
    if (copy >= 0)
        ownDescriptors++;
    return copy;
}

void CloseListingDescriptor(int descriptor)
{
    close(descriptor);
    ownDescriptors--;
}
