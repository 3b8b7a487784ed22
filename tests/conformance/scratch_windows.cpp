// Scratch trees on Windows: CreateDirectoryA, CreateFileA and GetFileAttributesExA.
#include "scratch.h"

const char SCRATCH_SEPARATOR = '\\';

std::string MakeScratchFolder()
{
    static int made = 0;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string path = std::string(temp) + "chronotree-conformance-" +
                       std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++made);
    return CreateDirectoryA(path.c_str(), nullptr) ? path : "";
}

void MakeFolder(const std::string& path) { CreateDirectoryA(path.c_str(), nullptr); }

void MakeFile(const std::string& path, FILETIME lastWrite)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    SetFileTime(file, nullptr, &lastWrite, &lastWrite);
    CloseHandle(file);
}

void SetTimes(const std::string& path, FILETIME lastWrite, FILETIME lastAccess)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    SetFileTime(file, nullptr, &lastAccess, &lastWrite);
    CloseHandle(file);
}

bool ReadTimes(const std::string& path, FILETIME* lastWrite, FILETIME* lastAccess)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return false;
    *lastWrite = data.ftLastWriteTime;
    *lastAccess = data.ftLastAccessTime;
    return true;
}
