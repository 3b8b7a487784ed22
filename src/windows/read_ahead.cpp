// The read-ahead's slots and workers: a slot is queued by the walk, read by one worker, and
// taken or dropped by the walk; a slot dropped while it is read is freed by its reader.
#define CHRONOTREE_SYSTEM_NAMES
#include "read_ahead.h"
#include "wide_text.h"
#include "workers.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t MOST_AHEAD = 64;
constexpr size_t AHEAD_BUDGET = 128 * 1024;
constexpr DWORD MOST_READERS = 64;

enum class Ahead : uint8_t { Free, Queued, Reading, Ready, Dropped };

struct Slot {
    Ahead state;
    bool forWrites;
    uint32_t batch, index; // the listing that queued it, and its place there
    Digest folder;
    wchar_t* path; // "\\?\...\name\"
    size_t length; // with the separator
    Listing* listing; // once read: whole, or null
    HANDLE handle; // once read for writes, else null
};

CRITICAL_SECTION guard;
HANDLE queued; // a semaphore: slots queued (a worker may find one already taken)
HANDLE readDone; // set when a worker hands a slot back
Slot slots[MOST_AHEAD];
uint32_t batches;
DWORD readers, wanted = 1;

void FreeAhead(Listing* listing)
{
    if (listing) {
        free(listing->entries);
        free(listing);
    }
}

void Release(Slot& slot)
{
    FreeAhead(slot.listing);
    if (slot.handle)
        CloseHandle(slot.handle);
    free(slot.path);
    slot = Slot{};
}

// The queued slot nearest to the walk: of the listing queued last, the first.
Slot* Nearest()
{
    Slot* nearest = nullptr;
    for (Slot& slot : slots) {
        if (slot.state == Ahead::Queued &&
            (!nearest || slot.batch > nearest->batch ||
             (slot.batch == nearest->batch && slot.index < nearest->index)))
            nearest = &slot;
    }
    return nearest;
}

// Outside the lock: the slot is this reader's while it is being read.
void ReadSlot(Slot* slot, char* chunk)
{
    auto listing = static_cast<Listing*>(calloc(1, sizeof(Listing)));
    if (!listing || !chunk) {
        FreeAhead(listing);
        return;
    }
    listing->budget = AHEAD_BUDGET;
    listing->system = INVALID_HANDLE_VALUE;
    listing->folder = slot->folder;
    slot->path[slot->length - 1] = L'\0';
    listing->unchangedKnown = FolderTimeBefore(slot->path, &listing->folderTime);
    HANDLE folder = OpenToReadThrough(slot->path, slot->forWrites);
    slot->path[slot->length - 1] = L'\\';
    if (folder != INVALID_HANDLE_VALUE && ReadThrough(listing, folder, chunk)) {
        listing->whole = true;
        slot->listing = listing;
        listing = nullptr;
        if (slot->forWrites) {
            slot->handle = folder;
            folder = INVALID_HANDLE_VALUE;
        }
    }
    if (folder != INVALID_HANDLE_VALUE)
        CloseHandle(folder);
    FreeAhead(listing);
}

DWORD WINAPI Read(void*)
{
    char* chunk = static_cast<char*>(malloc(CHUNK_SIZE)); // aligned for any record
    for (;;) {
        WaitForSingleObject(queued, INFINITE);
        EnterCriticalSection(&guard);
        Slot* slot = Nearest();
        if (slot)
            slot->state = Ahead::Reading;
        LeaveCriticalSection(&guard);
        if (!slot)
            continue;
        ReadSlot(slot, chunk);
        EnterCriticalSection(&guard);
        if (slot->state == Ahead::Dropped)
            Release(*slot);
        else
            slot->state = Ahead::Ready;
        LeaveCriticalSection(&guard);
        SetEvent(readDone);
    }
}

bool Started()
{
    static bool ready;
    if (!ready) {
        InitializeCriticalSection(&guard);
        queued = CreateSemaphoreW(nullptr, 0, 0x7FFFFFFF, nullptr);
        readDone = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        ready = queued && readDone;
    }
    return ready;
}

// Under the lock: every slot queued or read that the walk has passed, once it is at the
// slot `index` of `batch`: those of later listings (below folders it has left) and those
// before it in its own.
void DropPassed(uint32_t batch, uint32_t index)
{
    for (Slot& slot : slots) {
        bool passed = slot.batch > batch || (slot.batch == batch && slot.index < index);
        if (!passed || slot.state == Ahead::Free || slot.state == Ahead::Dropped)
            continue;
        if (slot.state == Ahead::Reading)
            slot.state = Ahead::Dropped;
        else
            Release(slot);
    }
}

// Under the lock: a free slot for the subfolder `name` of `folder`, or null.
Slot* Queue(const wchar_t* folder, size_t length, const char* name, size_t nameLength)
{
    Slot* slot = slots;
    while (slot < slots + MOST_AHEAD && slot->state != Ahead::Free)
        slot++;
    size_t room = length + nameLength + 2; // a byte of UTF-8 makes at most one unit
    auto path =
        slot < slots + MOST_AHEAD ? static_cast<wchar_t*>(malloc(room * sizeof(wchar_t))) : nullptr;
    if (!path)
        return nullptr;
    memcpy(path, folder, length * sizeof(wchar_t));
    size_t units = WideFromUtf8(name, nameLength, path + length, room - length - 1);
    if (units == TEXT_DOES_NOT_FIT) {
        free(path);
        return nullptr;
    }
    path[length + units] = L'\\';
    path[length + units + 1] = L'\0';
    slot->path = path;
    slot->length = length + units + 1;
    slot->folder = DigestOf(path, slot->length);
    return slot;
}

bool IsPlainSubfolder(const EntryHeader& header, const char* name)
{
    bool folder = (header.attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                  !(header.attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    return folder && strcmp(name, ".") != 0 && strcmp(name, "..") != 0;
}

} // namespace

void DropReadAhead()
{
    if (!Started())
        return;
    EnterCriticalSection(&guard);
    DropPassed(0, 0);
    LeaveCriticalSection(&guard);
}

void StartReadAhead(DWORD count)
{
    DropReadAhead();
    if (!Started())
        return;
    count = count > MOST_READERS ? MOST_READERS : count;
    while (count > 1 && readers < count) {
        if (!StartWorker(Read))
            break;
        readers++;
    }
    wanted = count > 1 && readers > 1 ? count : 1;
}

void QueueSubfolders(const Listing* listing, const wchar_t* folder, size_t length, bool forWrites)
{
    if (wanted <= 1)
        return;
    EnterCriticalSection(&guard);
    uint32_t batch = ++batches, index = 0;
    for (size_t at = 0; at < listing->used; index++) {
        EntryHeader header;
        memcpy(&header, listing->entries + at, sizeof header);
        const char* name = listing->entries + at + sizeof header;
        at += (sizeof header + header.nameLength + 1 + 3) & ~static_cast<size_t>(3);
        if (!IsPlainSubfolder(header, name))
            continue;
        Slot* slot = Queue(folder, length, name, header.nameLength);
        if (!slot)
            break;
        slot->state = Ahead::Queued;
        slot->forWrites = forWrites;
        slot->batch = batch;
        slot->index = index;
        ReleaseSemaphore(queued, 1, nullptr);
    }
    LeaveCriticalSection(&guard);
}

Listing* TakeReadAhead(const Digest& folder, HANDLE* held)
{
    *held = INVALID_HANDLE_VALUE;
    if (wanted <= 1)
        return nullptr;
    EnterCriticalSection(&guard);
    Slot* slot = nullptr;
    for (Slot& each : slots) {
        if (each.state != Ahead::Free && each.state != Ahead::Dropped &&
            SameDigest(each.folder, folder))
            slot = &each;
    }
    while (slot && slot->state == Ahead::Reading) {
        LeaveCriticalSection(&guard);
        WaitForSingleObject(readDone, INFINITE);
        EnterCriticalSection(&guard);
    }
    Listing* listing = nullptr;
    if (slot) {
        uint32_t batch = slot->batch, index = slot->index;
        listing = slot->listing;
        slot->listing = nullptr;
        if (slot->handle)
            *held = slot->handle;
        slot->handle = nullptr;
        Release(*slot);
        DropPassed(batch, index);
    }
    LeaveCriticalSection(&guard);
    return listing;
}
