// The write-behind's slots: a write is queued by the walk's thread and made by one worker,
// which hands a failure back. Every field is guarded by workerGuard.
#include "write_behind.h"

#include "workers.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

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
    uint64_t order; // its write's place in the queue
};

// Never destroyed: detached workers may still look at them while the process exits and
// runs its destructors.
struct WriteSlots {
    WriteSlot slot[MOST_WRITES];
};
WriteSlot (&writeSlots)[MOST_WRITES] = (new WriteSlots())->slot; // every slot starts free
auto& failures = *new std::vector<Failure>();
size_t writeCap; // set from the descriptor budget
size_t pendingWrites;
uint64_t nextWriteOrder;
uint64_t writesDone;
FileFound lastRead; // the walk's thread's own

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
void WriteOne(WriteSlot* slot)
{
    slot->state = Write::Writing;
    const char* name = slot->ofFolder ? nullptr : slot->name.c_str();
    pthread_mutex_unlock(&workerGuard);
    int result =
        name ? utimensat(slot->folder, name, slot->times, 0) : futimens(slot->folder, slot->times);
    int error = result == 0 ? 0 : errno;
    close(slot->folder);
    pthread_mutex_lock(&workerGuard);
    if (error)
        failures.push_back(Failure{slot->path, error, slot->order});
    slot->doneAt = ++writesDone;
    slot->state = Write::Free;
    pendingWrites--;
    NoteWorkDone();
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
        WaitForWorkDone();
}

} // namespace

bool WriteOneQueued()
{
    WriteSlot* write = OldestQueuedWrite();
    if (write)
        WriteOne(write);
    return write != nullptr;
}

void WaitForWrites() { WaitForWritesLocked(); }

void SetWriteCap(size_t cap) { writeCap = cap; }

bool WriteBehind(int folder, const char* name, const timespec times[2], const char* path)
{
    FileFound file = lastRead; // the walk reads a folder's time right before it writes it
    lastRead.known = false;
    SettleWritesTo(path);
    pthread_mutex_lock(&workerGuard);
    bool behind = WorkerThreads() > 1 && writeCap > 0;
    pthread_mutex_unlock(&workerGuard);
    int copy = behind ? fcntl(folder, F_DUPFD_CLOEXEC, 0) : -1;
    if (copy < 0)
        return false;
    pthread_mutex_lock(&workerGuard);
    while (pendingWrites >= writeCap)
        WaitForWorkDone();
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
    pthread_mutex_unlock(&workerGuard);
    return true;
}

void SettleWritesTo(const char* path)
{
    pthread_mutex_lock(&workerGuard);
    if (PendingTo(path))
        WaitForWritesLocked();
    pthread_mutex_unlock(&workerGuard);
}

uint64_t WritesDoneMark()
{
    if (WorkerThreads() <= 1)
        return 0;
    pthread_mutex_lock(&workerGuard);
    uint64_t mark = writesDone;
    pthread_mutex_unlock(&workerGuard);
    return mark;
}

bool SettleWritesToFile(dev_t device, ino_t inode, uint64_t mark)
{
    if (WorkerThreads() <= 1)
        return false; // no write is ever pending
    lastRead = FileFound{true, device, inode};
    bool pending = false, overtaken = false;
    pthread_mutex_lock(&workerGuard);
    for (const WriteSlot& slot : writeSlots) {
        if (SameFile(slot.file, lastRead)) {
            pending = pending || slot.state != Write::Free;
            overtaken = overtaken || slot.doneAt > mark;
        }
    }
    if (pending)
        WaitForWritesLocked();
    pthread_mutex_unlock(&workerGuard);
    return pending || overtaken;
}

bool TakeWriteFailure(bool wait, char* path, size_t size, DWORD* error)
{
    pthread_mutex_lock(&workerGuard);
    if (wait)
        WaitForWritesLocked();
    // In the order the writes were queued, which is the walk's, whichever finished first:
    // none while a write queued before it is still pending.
    size_t first = failures.size();
    for (size_t i = 0; i < failures.size(); i++) {
        if (first == failures.size() || failures[i].order < failures[first].order)
            first = i;
    }
    uint64_t oldestPending = UINT64_MAX;
    for (const WriteSlot& slot : writeSlots) {
        if (slot.state != Write::Free && slot.order < oldestPending)
            oldestPending = slot.order;
    }
    bool any = first < failures.size() && failures[first].order < oldestPending;
    if (any) {
        const Failure& failure = failures[first];
        size_t length = failure.path.size() < size ? failure.path.size() : size - 1;
        memcpy(path, failure.path.data(), length);
        path[length] = '\0';
        *error = static_cast<DWORD>(failure.error);
        failures.erase(failures.begin() + static_cast<ptrdiff_t>(first));
    }
    pthread_mutex_unlock(&workerGuard);
    return any;
}
