// The write-behind's slots: a handle gathers a folder's times, its close queues their write,
// and one worker opens, sets and closes the folder, and hands a failure back under the lock.
#define CHRONOTREE_SYSTEM_NAMES
#include "write_behind.h"

#include "workers.h"
#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr DWORD MOST_WRITES = 32;
// Write handles are odd numbers here: the system's handles are multiples of four.
constexpr uintptr_t LATE_HANDLE_BASE = 0x7FFF0003;

enum class Late : uint8_t { Free, Gathering, Queued, Writing };

// A file as a read found it.
struct FileFound {
    bool known;
    DWORD volume;
    uint64_t index;
};

// A handle whose times are gathered by SetFileTime and written by a worker once it is
// closed: the worker opens the folder then, so the walk waits for no open of its own.
struct LateWrite {
    Late state;
    bool set[3]; // creation, access, last write
    FILETIME times[3];
    DWORD access, share, flags;
    DWORD order;
    HANDLE kept; // the folder as its listing held it, or INVALID_HANDLE_VALUE
    wchar_t* wide; // resolved when the handle was made
    char* path; // as the program gave it, for a failure
    // The file the walk's last read found, and when the write was done (counted in
    // writesDone): both outlive the write, for reads that began before it was done.
    FileFound file;
    DWORD doneAt;
};

struct Failure {
    char* path;
    DWORD error;
    DWORD order; // its write's place in the queue
};

CRITICAL_SECTION guard;
HANDLE room; // a semaphore: free write slots
HANDLE work; // a semaphore: writes queued
HANDLE allDone; // set while no write is pending
LateWrite writes[MOST_WRITES];
Failure* failures;
size_t failureCount, failureCapacity;
DWORD wanted = 1, started, pending, nextOrder, writesDone;
FileFound lastRead; // the walk's thread's own

// Whether the write queued `a`th came before the `b`th, the count wrapping round.
bool Before(DWORD a, DWORD b) { return static_cast<int32_t>(a - b) < 0; }

void Fail(LateWrite* write, DWORD error)
{
    if (failureCount == failureCapacity) {
        size_t capacity = failureCapacity ? 2 * failureCapacity : 16;
        auto grown = static_cast<Failure*>(realloc(failures, capacity * sizeof(Failure)));
        if (!grown)
            return; // no memory to report it with: it stays uncounted
        failures = grown;
        failureCapacity = capacity;
    }
    failures[failureCount++] = Failure{write->path, error, write->order};
    write->path = nullptr;
}

void Give(LateWrite* write)
{
    if (write->kept != INVALID_HANDLE_VALUE)
        CloseHandle(write->kept);
    free(write->wide);
    free(write->path);
    LateWrite freed = {};
    freed.file = write->file;
    freed.doneAt = write->doneAt;
    *write = freed;
    ReleaseSemaphore(room, 1, nullptr);
}

DWORD WINAPI Work(void*)
{
    for (;;) {
        WaitForSingleObject(work, INFINITE);
        EnterCriticalSection(&guard);
        LateWrite* write = nullptr;
        for (LateWrite& each : writes) {
            if (each.state == Late::Queued && (!write || each.order < write->order))
                write = &each;
        }
        write->state = Late::Writing;
        LeaveCriticalSection(&guard);
        HANDLE folder = write->kept;
        write->kept = INVALID_HANDLE_VALUE;
        if (folder == INVALID_HANDLE_VALUE)
            folder = CreateFileW(write->wide, write->access, write->share, nullptr, OPEN_EXISTING,
                                 write->flags, nullptr);
        DWORD error = folder == INVALID_HANDLE_VALUE ? GetLastError() : 0;
        if (!error && !SetFileTime(folder, write->set[0] ? &write->times[0] : nullptr,
                                   write->set[1] ? &write->times[1] : nullptr,
                                   write->set[2] ? &write->times[2] : nullptr))
            error = GetLastError();
        if (folder != INVALID_HANDLE_VALUE)
            CloseHandle(folder);
        EnterCriticalSection(&guard);
        if (error)
            Fail(write, error);
        write->doneAt = ++writesDone;
        Give(write);
        if (--pending == 0)
            SetEvent(allDone);
        LeaveCriticalSection(&guard);
    }
}

LateWrite* LateOf(HANDLE handle)
{
    uintptr_t value = reinterpret_cast<uintptr_t>(handle) - LATE_HANDLE_BASE;
    if (value % 4 != 0 || value / 4 >= MOST_WRITES)
        return nullptr;
    LateWrite* write = &writes[value / 4];
    return write->state == Late::Gathering ? write : nullptr;
}

bool Started()
{
    static bool ready;
    if (!ready) {
        InitializeCriticalSection(&guard);
        room = CreateSemaphoreW(nullptr, MOST_WRITES, MOST_WRITES, nullptr);
        work = CreateSemaphoreW(nullptr, 0, MOST_WRITES, nullptr);
        allDone = CreateEventW(nullptr, TRUE, TRUE, nullptr);
        ready = room && work && allDone;
    }
    return ready;
}

bool PendingTo(const char* path)
{
    for (const LateWrite& write : writes) {
        if (write.state != Late::Free && write.path && strcmp(write.path, path) == 0)
            return true;
    }
    return false;
}

} // namespace

void SettleWritesTo(const char* path)
{
    if (wanted <= 1 || !Started())
        return;
    EnterCriticalSection(&guard);
    bool wait = PendingTo(path);
    LeaveCriticalSection(&guard);
    if (wait)
        WaitForSingleObject(allDone, INFINITE);
}

DWORD WritesDoneMark()
{
    if (wanted <= 1)
        return 0; // and the lock may not be made yet
    EnterCriticalSection(&guard);
    DWORD mark = writesDone;
    LeaveCriticalSection(&guard);
    return mark;
}

bool SettleWritesToFile(DWORD volume, uint64_t index, DWORD mark)
{
    if (wanted <= 1)
        return false; // no write is pending: more than one is in use only once started
    lastRead = FileFound{true, volume, index};
    bool pending = false, overtaken = false;
    EnterCriticalSection(&guard);
    for (const LateWrite& write : writes) {
        if (write.file.known && write.file.volume == volume && write.file.index == index) {
            pending = pending || write.state != Late::Free;
            overtaken = overtaken || static_cast<int32_t>(write.doneAt - mark) > 0;
        }
    }
    LeaveCriticalSection(&guard);
    if (pending)
        WaitForSingleObject(allDone, INFINITE);
    return pending || overtaken;
}

HANDLE CreateLateWrite(const char* path, const wchar_t* wide, HANDLE kept, DWORD access,
                       DWORD share, DWORD disposition, DWORD flags)
{
    FileFound file = lastRead; // the walk reads a folder's time right before it writes it
    lastRead.known = false;
    if (wanted <= 1 || access != GENERIC_WRITE || disposition != OPEN_EXISTING || !Started())
        return nullptr;
    size_t units = wcslen(wide) + 1;
    auto copy = static_cast<wchar_t*>(malloc(units * sizeof(wchar_t)));
    char* name = strdup(path);
    if (!copy || !name) {
        free(copy);
        free(name);
        return nullptr;
    }
    memcpy(copy, wide, units * sizeof(wchar_t));
    WaitForSingleObject(room, INFINITE);
    EnterCriticalSection(&guard);
    size_t slot = 0;
    while (writes[slot].state != Late::Free)
        slot++;
    writes[slot] =
        LateWrite{Late::Gathering, {}, {}, access, share, flags, 0, kept, copy, name, file, 0};
    LeaveCriticalSection(&guard);
    return reinterpret_cast<HANDLE>(LATE_HANDLE_BASE + 4 * slot);
}

BOOL SetFileTimeUtf8(HANDLE file, const FILETIME* creation, const FILETIME* lastAccess,
                     const FILETIME* lastWrite)
{
    LateWrite* write = LateOf(file);
    if (!write)
        return SetFileTime(file, creation, lastAccess, lastWrite);
    const FILETIME* given[3] = {creation, lastAccess, lastWrite};
    for (int i = 0; i < 3; i++) {
        if (given[i]) {
            write->set[i] = true;
            write->times[i] = *given[i];
        }
    }
    return TRUE;
}

BOOL CloseHandleUtf8(HANDLE object)
{
    LateWrite* write = LateOf(object);
    if (!write)
        return CloseHandle(object);
    EnterCriticalSection(&guard);
    bool any = write->set[0] || write->set[1] || write->set[2];
    if (any) {
        write->state = Late::Queued;
        write->order = nextOrder++;
        if (pending++ == 0)
            ResetEvent(allDone);
        ReleaseSemaphore(work, 1, nullptr);
    } else {
        Give(write);
    }
    LeaveCriticalSection(&guard);
    return TRUE;
}

DWORD StartWriters(DWORD count)
{
    if (count > 1 && Started()) {
        WaitForSingleObject(allDone, INFINITE);
        while (started < count) {
            if (!StartWorker(Work))
                break;
            started++;
        }
    }
    wanted = count > 1 && started > 1 ? (count < started ? count : started) : 1;
    return wanted;
}

bool TakeWriteFailure(bool wait, char* path, DWORD size, DWORD* error)
{
    if (!Started() || size == 0)
        return false;
    if (wait)
        WaitForSingleObject(allDone, INFINITE);
    EnterCriticalSection(&guard);
    // In the order the writes were queued, which is the walk's, whichever finished first:
    // none while a write queued before it is still pending.
    size_t first = failureCount;
    for (size_t i = 0; i < failureCount; i++) {
        if (first == failureCount || Before(failures[i].order, failures[first].order))
            first = i;
    }
    bool any = first < failureCount;
    for (const LateWrite& write : writes) {
        bool queued = write.state == Late::Queued || write.state == Late::Writing;
        if (any && queued && Before(write.order, failures[first].order))
            any = false; // failures[first] came after a write still pending
    }
    if (any) {
        Failure& failure = failures[first];
        size_t length = strlen(failure.path);
        length = length < size ? length : size - 1;
        memcpy(path, failure.path, length);
        path[length] = '\0';
        *error = failure.error;
        free(failure.path);
        failures[first] = failures[--failureCount];
    }
    LeaveCriticalSection(&guard);
    return any;
}
