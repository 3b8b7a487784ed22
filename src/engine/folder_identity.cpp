// Folder identity (volume and file index) for the loop check, asked only of links and
// junctions so that plain trees cost nothing extra; and a folder's present information.
#include "folder_identity.h"

#include <cstring>

namespace {

bool ReadIdentity(const char* path, FolderIdentity* into)
{
    BY_HANDLE_FILE_INFORMATION info;
    bool known = ReadFolderInformation(path, &info);
    if (known)
        *into = FolderIdentity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    return known;
}

// A level's path is the buffer up to its tail (with the trailing separator); the buffer
// is cut there for the look-up alone. Looked up once per level, and only when needed.
bool KnowIdentity(char* buffer, WalkLevel* level)
{
    if (!level->identityKnown) {
        char saved = *level->tail;
        *level->tail = '\0';
        level->identityKnown = ReadIdentity(buffer, &level->identity);
        *level->tail = saved;
    }
    return level->identityKnown;
}

} // namespace

// Opened without access, which lets the folder's information be read even where reading
// its contents would be refused, and never opens it for writing.
bool ReadFolderInformation(const char* path, BY_HANDLE_FILE_INFORMATION* info)
{
    HANDLE folder = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE)
        return false;
    bool known = GetFileInformationByHandle(folder, info) != 0;
    CloseHandle(folder);
    return known;
}

bool LeadsBackUpThePath(char* buffer, WalkLevel* level, const char* name)
{
    size_t length = strlen(name);
    if (length + 1 > static_cast<size_t>(buffer + PATH_BUFFER_SIZE - level->tail))
        return false; // the descent itself will find that it does not fit
    memcpy(level->tail, name, length + 1);
    FolderIdentity entry;
    if (!ReadIdentity(buffer, &entry))
        return false;
    for (WalkLevel* up = level; up; up = up->parent) {
        if (KnowIdentity(buffer, up) && up->identity.volume == entry.volume &&
            up->identity.indexHigh == entry.indexHigh && up->identity.indexLow == entry.indexLow)
            return true;
    }
    return false;
}
