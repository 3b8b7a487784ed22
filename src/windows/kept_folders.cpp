// The folders held open between their listing and their write, as a stack along the walk's
// path: a folder's subfolders are listed and written while it is held.
#define CHRONOTREE_SYSTEM_NAMES
#include "kept_folders.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t MOST_KEPT = 64;

struct Kept {
    HANDLE handle;
    wchar_t* folder; // with its separator
    size_t length;
};

Kept kept[MOST_KEPT];
size_t keptCount;
bool keeping;

void Release()
{
    Kept& last = kept[--keptCount];
    CloseHandle(last.handle);
    free(last.folder);
}

} // namespace

bool KeepingForWrites() { return keeping; }

bool KeepFolder(HANDLE handle, const wchar_t* folder, size_t length)
{
    auto copy = static_cast<wchar_t*>(malloc(length * sizeof(wchar_t)));
    if (keptCount == MOST_KEPT || !copy) {
        free(copy);
        return false;
    }
    memcpy(copy, folder, length * sizeof(wchar_t));
    kept[keptCount++] = Kept{handle, copy, length};
    return true;
}

void ReleaseFoldersOutside(const wchar_t* folder, size_t length)
{
    while (keptCount) {
        const Kept& last = kept[keptCount - 1];
        if (last.length <= length &&
            memcmp(last.folder, folder, last.length * sizeof(wchar_t)) == 0)
            return;
        Release();
    }
}

HANDLE TakeKeptFolder(const wchar_t* path, size_t length)
{
    size_t at = keptCount;
    while (at > 0 && !(kept[at - 1].length == length + 1 &&
                       memcmp(kept[at - 1].folder, path, length * sizeof(wchar_t)) == 0))
        at--;
    if (at == 0)
        return INVALID_HANDLE_VALUE;
    while (keptCount > at)
        Release();
    Kept& taken = kept[--keptCount];
    free(taken.folder);
    return taken.handle;
}

void NoteFolderWriteOpen(bool refused) { keeping = !refused; }

void ReleaseKeptFolders()
{
    while (keptCount)
        Release();
    keeping = false;
}
