// The read-ahead's slots: a slot is queued by the walk, read by one worker, and taken or
// dropped by the walk; a slot dropped while it is read is freed by its reader. Every field
// is guarded by workerGuard.
#include "read_ahead.h"

#include "listing_entries.h"
#include "workers.h"

#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <unistd.h>
#include <unordered_map>

namespace {

constexpr size_t MOST_QUEUED = 4096; // subfolders queued and not yet being read
// Memory stays flat however wide the folders: a worker reads a folder of at most this much
// (a wider one is read by the walk itself, in batches), and stops reading ahead while the
// listings it has read hold more than the second.
constexpr size_t AHEAD_LISTING_BUDGET = 128 * 1024;
constexpr size_t MOST_HELD_BYTES = 8 * 1024 * 1024;

enum class Ahead : uint8_t { Queued, Reading, Read, Failed };

// A duplicate of a folder's descriptor that its queued subfolders are opened from; closed
// when the last of them has been opened or dropped.
struct Base {
    int folder;
    int users;
};

struct AheadSlot {
    Ahead state;
    bool dropped; // dropped while a worker reads it: the worker gives it back
    std::string path;
    std::string key;
    size_t nameAt; // the subfolder's name within `path`
    Base* base;
    int folder;
    char* bytes;
    size_t size;
    timespec mark;
};

// Never destroyed: detached workers may still look at them while the process exits and
// runs its destructors.
auto& aheadByKey = *new std::map<std::string, AheadSlot*>(); // in the walk's order
auto& aheadByPath = *new std::unordered_map<std::string, AheadSlot*>();
size_t queuedCount;
size_t holding; // listings being read or read: each holds a descriptor
size_t heldBytes; // what the listings read hold
size_t baseCount;
size_t aheadCap; // set from the descriptor budget

void Release(Base* base)
{
    if (base && --base->users == 0) {
        close(base->folder);
        delete base;
        baseCount--;
    }
}

// Gives back what the slot holds; the slot is out of both maps.
void Free(AheadSlot* slot)
{
    if (slot->state == Ahead::Queued) {
        Release(slot->base);
        queuedCount--;
    }
    if (slot->state == Ahead::Read) {
        close(slot->folder);
        free(slot->bytes);
        holding--;
        heldBytes -= slot->size;
        WakeWorker(); // a listing may be read in its place
    }
    delete slot;
}

// A worker reading the slot gives it back itself.
void Drop(AheadSlot* slot)
{
    aheadByKey.erase(slot->key);
    aheadByPath.erase(slot->path);
    if (slot->state == Ahead::Reading)
        slot->dropped = true;
    else
        Free(slot);
}

void DropAll()
{
    while (!aheadByKey.empty())
        Drop(aheadByKey.begin()->second);
}

bool Under(const std::string& key, const std::string& folder)
{
    return key.size() > folder.size() && key.compare(0, folder.size(), folder) == 0;
}

// Drops the folders the walk has passed (queued before `key`), and with `below` those
// queued from an older listing of the folder at `key`.
void DropPassed(const std::string& key, bool below)
{
    while (!aheadByKey.empty() && aheadByKey.begin()->first < key)
        Drop(aheadByKey.begin()->second);
    auto after = aheadByKey.upper_bound(key);
    while (below && after != aheadByKey.end() && Under(after->first, key)) {
        AheadSlot* slot = after->second;
        ++after;
        Drop(slot);
    }
}

// Room for one more folder at `key`: the queue has room, or the folder queued furthest from
// the walk is dropped for it when `key` comes before it.
bool RoomFor(const std::string& key)
{
    if (queuedCount < MOST_QUEUED)
        return true;
    for (auto at = aheadByKey.rbegin(); at != aheadByKey.rend(); ++at) {
        if (at->second->state != Ahead::Queued)
            continue;
        if (!(key < at->first))
            return false;
        Drop(at->second);
        return true;
    }
    return false;
}

// Queues the subfolders in `bytes`, nearest first, opened from the descriptor `folder`
// (which this takes over).
void QueueLocked(const std::string& path, const std::string& key, int folder, const char* bytes,
                 size_t size)
{
    if (baseCount >= aheadCap) { // each folder queued from needs a descriptor
        close(folder);
        return;
    }
    Base* base = new Base{folder, 1};
    baseCount++;
    size_t index = 0;
    for (size_t at = 0; at < size; at += PackedEntrySize(bytes + at), index++) {
        if (!IsPackedSubfolder(bytes + at))
            continue;
        std::string childKey = ChildKey(key, index);
        if (!RoomFor(childKey))
            break;
        AheadSlot* slot = new AheadSlot{Ahead::Queued, false, path,    childKey, 0,
                                        base,          -1,    nullptr, 0,        timespec{0, 0}};
        if (path.empty() || path.back() != '/')
            slot->path += '/';
        slot->nameAt = slot->path.size();
        slot->path += bytes + at + ENTRY_HEADER;
        if (aheadByKey.count(childKey) || aheadByPath.count(slot->path)) { // keep the first
            delete slot;
            continue;
        }
        aheadByPath[slot->path] = slot;
        aheadByKey[childKey] = slot;
        base->users++;
        queuedCount++;
        WakeWorker();
    }
    Release(base);
}

bool HasSubfolder(const char* bytes, size_t size)
{
    for (size_t at = 0; at < size; at += PackedEntrySize(bytes + at)) {
        if (IsPackedSubfolder(bytes + at))
            return true;
    }
    return false;
}

// The queued folder nearest to the walk, when a listing may be held for it: when all are
// held, the one read furthest from the walk gives way to a nearer one.
AheadSlot* NearestQueued()
{
    AheadSlot* nearest = nullptr;
    for (auto& [key, slot] : aheadByKey) {
        if (slot->state == Ahead::Queued) {
            nearest = slot;
            break;
        }
    }
    if (heldBytes >= MOST_HELD_BYTES)
        return nullptr;
    if (!nearest || holding < aheadCap)
        return nearest;
    for (auto at = aheadByKey.rbegin(); at != aheadByKey.rend() && nearest->key < at->first; ++at) {
        if (at->second->state == Ahead::Read) {
            Drop(at->second);
            return nearest;
        }
    }
    return nullptr;
}

// Called with the lock held; returns with it held.
void ReadOne(AheadSlot* slot, char* chunk)
{
    slot->state = Ahead::Reading;
    queuedCount--;
    holding++;
    Base* base = slot->base;
    const char* name = slot->path.c_str() + slot->nameAt;
    pthread_mutex_unlock(&workerGuard);
    timespec mark = ReadMark();
    // Only a plain folder is queued: one replaced by a link since is read by the walk.
    int folder = openat(base->folder, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    char* bytes = nullptr;
    size_t size = 0;
    bool read = folder >= 0 && ReadWholeListing(folder, AHEAD_LISTING_BUDGET, chunk,
                                                AHEAD_CHUNK_SIZE, &bytes, &size);
    int copy = read && HasSubfolder(bytes, size) ? fcntl(folder, F_DUPFD_CLOEXEC, 0) : -1;
    pthread_mutex_lock(&workerGuard);
    Release(base);
    slot->base = nullptr;
    if (slot->dropped || !read) {
        if (folder >= 0)
            close(folder);
        if (copy >= 0)
            close(copy);
        free(bytes);
        holding--;
        slot->state = Ahead::Failed; // the walk reads it itself
        if (slot->dropped)
            delete slot;
    } else {
        slot->state = Ahead::Read;
        slot->folder = folder;
        slot->bytes = bytes;
        slot->size = size;
        heldBytes += size;
        slot->mark = mark;
        if (copy >= 0)
            QueueLocked(slot->path, slot->key, copy, bytes, size);
    }
    NoteWorkDone();
}

} // namespace

void TakeAhead(const char* path, size_t length, AheadListing* ahead, std::string* key)
{
    ahead->queued = ahead->read = false;
    pthread_mutex_lock(&workerGuard);
    auto found = aheadByPath.find(std::string(path, length));
    if (found != aheadByPath.end()) {
        AheadSlot* slot = found->second;
        ahead->queued = true;
        *key = slot->key;
        DropPassed(slot->key, false);
        while (slot->state == Ahead::Reading)
            WaitForWorkDone();
        if (slot->state == Ahead::Read) {
            ahead->read = true;
            ahead->folder = slot->folder;
            ahead->bytes = slot->bytes;
            ahead->size = slot->size;
            ahead->mark = slot->mark;
            slot->state = Ahead::Failed; // handed over: nothing left to give back
            holding--;
            heldBytes -= slot->size;
            WakeWorker(); // a listing may be read in its place
        }
        Drop(slot);
    }
    pthread_mutex_unlock(&workerGuard);
}

void QueueSubfolders(const char* path, size_t length, int folder, const std::string& key,
                     const char* bytes, size_t size)
{
    pthread_mutex_lock(&workerGuard);
    if (key.empty())
        DropAll();
    else
        DropPassed(key, true);
    bool any = aheadCap > 0 && HasSubfolder(bytes, size);
    pthread_mutex_unlock(&workerGuard);
    int copy = any ? fcntl(folder, F_DUPFD_CLOEXEC, 0) : -1;
    if (copy < 0)
        return;
    pthread_mutex_lock(&workerGuard);
    QueueLocked(std::string(path, length), key, copy, bytes, size);
    pthread_mutex_unlock(&workerGuard);
}

std::string ChildKey(const std::string& key, size_t index)
{
    // Keys compare as bytes in the walk's order: a folder before what lies below it, and
    // that before its later siblings. Each index is coded so that a longer code sorts
    // after every shorter one.
    std::string child = key;
    if (index < 0x80) {
        child += static_cast<char>(index);
    } else if (index < 0x80 + 0x4000) {
        size_t value = index - 0x80;
        child += static_cast<char>(0x80 | (value >> 8));
        child += static_cast<char>(value & 0xFF);
    } else {
        child += static_cast<char>(0xC0);
        for (int shift = 24; shift >= 0; shift -= 8)
            child += static_cast<char>((index >> shift) & 0xFF);
    }
    return child;
}

bool ReadNearestAhead(char* chunk)
{
    AheadSlot* slot = NearestQueued();
    if (slot)
        ReadOne(slot, chunk);
    return slot != nullptr;
}

void DropAllAhead() { DropAll(); }

void SetAheadCap(size_t cap) { aheadCap = cap; }
