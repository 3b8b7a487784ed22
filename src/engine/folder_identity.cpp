// Folder identity (volume and file index) for the loop check, asked only of links and
// junctions and of what lies below them, so that plain trees cost nothing extra per folder;
// and a folder's present information.
#include "folder_identity.h"

#include "platform_config.h"
#include "program_state.h"
#include "walk_report.h"

#include <cstring>

namespace {

// The top and the folders above it; deeper than this, the highest are not known.
constexpr size_t MOST_ABOVE = 256;
FolderIdentity topAndAbove[MOST_ABOVE];
size_t topAndAboveCount;
char abovePath[PATH_BUFFER_SIZE];

bool SameIdentity(const FolderIdentity& a, const FolderIdentity& b)
{
    return a.volume == b.volume && a.indexHigh == b.indexHigh && a.indexLow == b.indexLow;
}

// Opened without access, which lets the folder's identity be read even where reading its
// contents would be refused, and never opens it for writing.
HANDLE OpenToLookUp(const char* path)
{
    return CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

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

bool IsTopOrAbove(const FolderIdentity& folder)
{
    for (size_t i = 0; i < topAndAboveCount; i++) {
        if (SameIdentity(topAndAbove[i], folder))
            return true;
    }
    return false;
}

} // namespace

// "top/.", "top/..", "top/../..": the system resolves "..", so through links as much as
// through plain folders, until a folder is its own parent (a root) or cannot be looked up.
// Spelled so, the look-ups leave what the file layer holds for the walk as it was.
void LearnTopAndAbove(const char* top, size_t length)
{
    topAndAboveCount = 0;
    if (length + 4 > sizeof abovePath)
        return;
    memcpy(abovePath, top, length);
    if (abovePath[length - 1] != PATH_SEPARATOR)
        abovePath[length++] = PATH_SEPARATOR;
    abovePath[length++] = '.';
    abovePath[length] = '\0';
    const char* further = "."; // "top/." becomes "top/..", then "top/../.." and so on
    FolderIdentity found;
    while (topAndAboveCount < MOST_ABOVE && ReadIdentity(abovePath, &found)) {
        if (topAndAboveCount > 0 && SameIdentity(found, topAndAbove[topAndAboveCount - 1]))
            return;
        topAndAbove[topAndAboveCount++] = found;
        size_t more = strlen(further);
        if (length + more + 1 > sizeof abovePath)
            return;
        memcpy(abovePath + length, further, more + 1);
        length += more;
        further = "/..";
    }
}

bool ReadFolderInformation(const char* path, BY_HANDLE_FILE_INFORMATION* info)
{
    HANDLE folder = OpenToLookUp(path);
    if (folder == INVALID_HANDLE_VALUE)
        return false;
    bool known = GetFileInformationByHandle(folder, info) != 0;
    CloseHandle(folder);
    return known;
}

bool ReadExactLastWrite(const char* path, ExactTime* time, ExactTime* created)
{
    HANDLE folder = OpenToLookUp(path);
    if (folder == INVALID_HANDLE_VALUE)
        return false;
    bool known = GetFileExactTime(folder, time) != 0;
    BY_HANDLE_FILE_INFORMATION info;
    if (known && created) {
        known = GetFileInformationByHandle(folder, &info) != 0;
        *created = ExactFromFileTime(info.ftCreationTime);
    }
    DWORD error = GetLastError();
    CloseHandle(folder);
    SetLastError(error);
    return known;
}

namespace {

DWORD WriteTime(const char* path, const FILETIME* time, const ExactTime* exact,
                const ExactTime* created)
{
    HANDLE folder = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE)
        return GetLastError();
    const FILETIME* alsoCreated = time && programState.setCreated ? time : nullptr;
    BOOL set =
        time ? SetFileTime(folder, alsoCreated, nullptr, time) : SetFileExactTime(folder, exact);
    if (set && created) {
        FILETIME creation = FileTimeFromExact(*created);
        set = SetFileTime(folder, &creation, nullptr, nullptr);
    }
    DWORD error = set ? 0 : GetLastError();
    CloseHandle(folder);
    return error;
}

} // namespace

DWORD WriteLastWriteTime(const char* path, FILETIME time)
{
    return WriteTime(path, &time, nullptr, nullptr);
}

DWORD WriteExactLastWrite(const char* path, ExactTime exact, const ExactTime* created)
{
    return WriteTime(path, nullptr, &exact, created);
}

bool IsAlreadyOnPath(char* buffer, WalkLevel* level, const char* name)
{
    size_t length = strlen(name);
    if (length + 1 > static_cast<size_t>(buffer + PATH_BUFFER_SIZE - level->tail))
        return false; // the descent itself will find that it does not fit
    memcpy(level->tail, name, length + 1);
    FolderIdentity entry;
    if (!ReadIdentity(buffer, &entry))
        return false;
    if (IsTopOrAbove(entry))
        return true;
    for (WalkLevel* up = level; up; up = up->parent) {
        if (KnowIdentity(buffer, up) && SameIdentity(up->identity, entry))
            return true;
    }
    return false;
}
