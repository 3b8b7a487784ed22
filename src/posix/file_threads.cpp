// Read-ahead and write-behind on a pool of threads. Every field below is guarded by one
// lock; a worker touches a listing or a write only while it is marked as the worker's.
#include "file_threads.h"

#include "listing_entries.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace {

constexpr size_t MOST_QUEUED = 4096; // subfolders queued and not yet being read
constexpr size_t MOST_HOLDING = 256; // listings being read or read ahead
constexpr size_t MOST_WRITES = 64; // writes queued or being written
constexpr unsigned MOST_THREADS = 64;
constexpr size_t CHUNK_SIZE = 65536;
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

enum class Write : uint8_t { Free, Queued, Writing };

// A file as a read found it; `known` false when nothing was found.
struct FileFound {
    bool known;
    dev_t device;
    ino_t inode;
};

struct WriteSlot {
    Write state = Write::Free;
    bool ofFolder; // the folder itself (futimens), else `name` within it
    // The file the walk's last read found, and when the write was done (counted in
    // writesDone): both outlive the write, for reads that began before it was done.
    FileFound file;
    uint64_t doneAt;
    uint64_t order;
    int folder;
    std::string name;
    std::string path;
    timespec times[2];
};

struct Failure {
    std::string path;
    int error;
};

pthread_mutex_t guard = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t workWaiting = PTHREAD_COND_INITIALIZER; // workers wait here
pthread_cond_t workDone = PTHREAD_COND_INITIALIZER; // the walk's thread waits here
pthread_cond_t workersIdle = PTHREAD_COND_INITIALIZER; // workers beyond the number in use

// One worker for each piece of work, rather than all of them for each: a wake-up costs a
// switch of threads.
void WakeWorker() { pthread_cond_signal(&workWaiting); }
// What the workers share with the walk's thread. Never destroyed: detached workers may
// still look at it while the process exits and runs its destructors.
struct Shared {
    std::map<std::string, AheadSlot*> aheadByKey; // the folders read ahead, in the walk's order
    std::unordered_map<std::string, AheadSlot*> aheadByPath;
    WriteSlot writeSlots[MOST_WRITES];
    std::vector<Failure> failures;
};
Shared& shared = *new Shared(); // value-initialized: every write slot starts free
std::map<std::string, AheadSlot*>& aheadByKey = shared.aheadByKey;
std::unordered_map<std::string, AheadSlot*>& aheadByPath = shared.aheadByPath;
WriteSlot (&writeSlots)[MOST_WRITES] = shared.writeSlots;
std::vector<Failure>& failures = shared.failures;
size_t queuedCount;
size_t holding; // listings being read or read: each holds a descriptor
size_t heldBytes; // what the listings read hold
size_t baseCount;
size_t failuresTaken;
unsigned wanted = 1;
// The same count as the walk's thread set it, read there without the lock: only that
// thread writes either.
unsigned walkThreads = 1;
unsigned started;
size_t aheadCap; // set from the descriptor budget
size_t writeCap;
size_t pendingWrites;
uint64_t nextWriteOrder;
uint64_t writesDone;
FileFound lastRead; // the walk's thread's own

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

WriteSlot* OldestQueuedWrite()
{
    WriteSlot* oldest = nullptr;
    for (WriteSlot& slot : writeSlots) {
        if (slot.state == Write::Queued && (!oldest || slot.order < oldest->order))
            oldest = &slot;
    }
    return oldest;
}

// Called with the lock held; returns with it held.
void ReadAhead(AheadSlot* slot, char* chunk)
{
    slot->state = Ahead::Reading;
    queuedCount--;
    holding++;
    Base* base = slot->base;
    const char* name = slot->path.c_str() + slot->nameAt;
    pthread_mutex_unlock(&guard);
    timespec mark = ReadMark();
    // Only a plain folder is queued: one replaced by a link since is read by the walk.
    int folder = openat(base->folder, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    char* bytes = nullptr;
    size_t size = 0;
    bool read = folder >= 0 &&
                ReadWholeListing(folder, AHEAD_LISTING_BUDGET, chunk, CHUNK_SIZE, &bytes, &size);
    int copy = read && HasSubfolder(bytes, size) ? fcntl(folder, F_DUPFD_CLOEXEC, 0) : -1;
    pthread_mutex_lock(&guard);
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
    pthread_cond_broadcast(&workDone);
}

// Called with the lock held; returns with it held.
void WriteOne(WriteSlot* slot)
{
    slot->state = Write::Writing;
    const char* name = slot->ofFolder ? nullptr : slot->name.c_str();
    pthread_mutex_unlock(&guard);
    int result =
        name ? utimensat(slot->folder, name, slot->times, 0) : futimens(slot->folder, slot->times);
    int error = result == 0 ? 0 : errno;
    close(slot->folder);
    pthread_mutex_lock(&guard);
    if (error)
        failures.push_back(Failure{slot->path, error});
    slot->doneAt = ++writesDone;
    slot->state = Write::Free;
    pendingWrites--;
    pthread_cond_broadcast(&workDone);
}

// Writes first: they are short, and each holds a descriptor.
// A worker beyond the number in use waits apart, so that it never takes a wake-up meant
// for one in use.
void* Work(void* argument)
{
    unsigned index = static_cast<unsigned>(reinterpret_cast<uintptr_t>(argument));
    alignas(dirent64) char chunk[CHUNK_SIZE];
    pthread_mutex_lock(&guard);
    for (;;) {
        if (index >= wanted || wanted <= 1) {
            pthread_cond_wait(&workersIdle, &guard);
            continue;
        }
        WriteSlot* write = OldestQueuedWrite();
        AheadSlot* listing = write ? nullptr : NearestQueued();
        if (write)
            WriteOne(write);
        else if (listing)
            ReadAhead(listing, chunk);
        else
            pthread_cond_wait(&workWaiting, &guard);
    }
    return nullptr;
}

bool SameFile(const FileFound& a, const FileFound& b)
{
    return a.known && b.known && a.device == b.device && a.inode == b.inode;
}

bool PendingTo(const char* path)
{
    for (const WriteSlot& slot : writeSlots) {
        if (slot.state != Write::Free && slot.path == path)
            return true;
    }
    return false;
}

void WaitForWritesLocked()
{
    while (pendingWrites > 0)
        pthread_cond_wait(&workDone, &guard);
}

} // namespace

void SetWorkerThreads(unsigned count)
{
    pthread_mutex_lock(&guard);
    WaitForWritesLocked();
    DropAll();
    wanted = count < 1 ? 1 : count > MOST_THREADS ? MOST_THREADS : count;
    while (wanted > 1 && started < wanted) {
        pthread_attr_t attributes;
        pthread_attr_init(&attributes);
        pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
        pthread_t thread;
        void* index = reinterpret_cast<void*>(static_cast<uintptr_t>(started));
        int failed = pthread_create(&thread, &attributes, Work, index);
        pthread_attr_destroy(&attributes);
        if (failed) {
            wanted = started > 1 ? started : 1; // as many as the system gives
            break;
        }
        started++;
    }
    walkThreads = wanted;
    pthread_cond_broadcast(&workersIdle);
    pthread_cond_broadcast(&workWaiting);
    pthread_mutex_unlock(&guard);
}

unsigned WorkerThreads() { return walkThreads; }

size_t WorkerDescriptors(size_t budget)
{
    pthread_mutex_lock(&guard);
    size_t ahead = budget / 4 < MOST_HOLDING ? budget / 4 : MOST_HOLDING;
    size_t writes = budget / 16 < MOST_WRITES ? budget / 16 : MOST_WRITES;
    bool room = wanted > 1 && ahead > 0 && writes > 0;
    aheadCap = room ? ahead : 0;
    writeCap = room ? writes : 0;
    size_t reserved = 2 * aheadCap + writeCap;
    pthread_mutex_unlock(&guard);
    return reserved;
}

void TakeAhead(const char* path, size_t length, AheadListing* ahead, std::string* key)
{
    ahead->queued = ahead->read = false;
    pthread_mutex_lock(&guard);
    auto found = aheadByPath.find(std::string(path, length));
    if (found != aheadByPath.end()) {
        AheadSlot* slot = found->second;
        ahead->queued = true;
        *key = slot->key;
        DropPassed(slot->key, false);
        while (slot->state == Ahead::Reading)
            pthread_cond_wait(&workDone, &guard);
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
    pthread_mutex_unlock(&guard);
}

void QueueSubfolders(const char* path, size_t length, int folder, const std::string& key,
                     const char* bytes, size_t size)
{
    pthread_mutex_lock(&guard);
    if (key.empty())
        DropAll();
    else
        DropPassed(key, true);
    bool any = aheadCap > 0 && HasSubfolder(bytes, size);
    pthread_mutex_unlock(&guard);
    int copy = any ? fcntl(folder, F_DUPFD_CLOEXEC, 0) : -1;
    if (copy < 0)
        return;
    pthread_mutex_lock(&guard);
    QueueLocked(std::string(path, length), key, copy, bytes, size);
    pthread_mutex_unlock(&guard);
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

bool WriteBehind(int folder, const char* name, const timespec times[2], const char* path)
{
    FileFound file = lastRead; // the walk reads a folder's time right before it writes it
    lastRead.known = false;
    SettleWritesTo(path);
    pthread_mutex_lock(&guard);
    bool behind = wanted > 1 && writeCap > 0;
    pthread_mutex_unlock(&guard);
    int copy = behind ? fcntl(folder, F_DUPFD_CLOEXEC, 0) : -1;
    if (copy < 0)
        return false;
    pthread_mutex_lock(&guard);
    while (pendingWrites >= writeCap)
        pthread_cond_wait(&workDone, &guard);
    WriteSlot* slot = writeSlots;
    while (slot->state != Write::Free)
        slot++;
    slot->state = Write::Queued;
    slot->ofFolder = name == nullptr;
    slot->file = file;
    slot->doneAt = 0;
    slot->order = nextWriteOrder++;
    slot->folder = copy;
    slot->name = name ? name : "";
    slot->path = path;
    slot->times[0] = times[0];
    slot->times[1] = times[1];
    pendingWrites++;
    WakeWorker();
    pthread_mutex_unlock(&guard);
    return true;
}

void SettleWritesTo(const char* path)
{
    pthread_mutex_lock(&guard);
    if (PendingTo(path))
        WaitForWritesLocked();
    pthread_mutex_unlock(&guard);
}

uint64_t WritesDoneMark()
{
    if (walkThreads <= 1)
        return 0;
    pthread_mutex_lock(&guard);
    uint64_t mark = writesDone;
    pthread_mutex_unlock(&guard);
    return mark;
}

bool SettleWritesToFile(dev_t device, ino_t inode, uint64_t mark)
{
    if (walkThreads <= 1)
        return false; // no write is ever pending
    lastRead = FileFound{true, device, inode};
    bool pending = false, overtaken = false;
    pthread_mutex_lock(&guard);
    for (const WriteSlot& slot : writeSlots) {
        if (SameFile(slot.file, lastRead)) {
            pending = pending || slot.state != Write::Free;
            overtaken = overtaken || slot.doneAt > mark;
        }
    }
    if (pending)
        WaitForWritesLocked();
    pthread_mutex_unlock(&guard);
    return pending || overtaken;
}

bool TakeWriteFailure(bool wait, char* path, size_t size, DWORD* error)
{
    pthread_mutex_lock(&guard);
    if (wait)
        WaitForWritesLocked();
    bool any = failuresTaken < failures.size();
    if (any) {
        const Failure& failure = failures[failuresTaken++];
        size_t length = failure.path.size() < size ? failure.path.size() : size - 1;
        memcpy(path, failure.path.data(), length);
        path[length] = '\0';
        *error = static_cast<DWORD>(failure.error);
    }
    if (failuresTaken == failures.size()) {
        failures.clear();
        failuresTaken = 0;
    }
    pthread_mutex_unlock(&guard);
    return any;
}
