// Scratch trees on Windows: the system's own wide calls on "\\?\" paths, with its own UTF-8
// conversion, so that the layer under test is checked against calls it does not make.
#define CHRONOTREE_SYSTEM_NAMES
#include "scratch.h"

const char SCRATCH_SEPARATOR = '\\';

namespace {

std::wstring Wide(const std::string& path)
{
    std::wstring wide(path.size() + 1, L'\0');
    int units = MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()),
                                    &wide[0], static_cast<int>(wide.size()));
    wide.resize(units > 0 ? units : 0);
    return L"\\\\?\\" + wide;
}

} // namespace

std::string MakeScratchFolder()
{
    static int made = 0;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string path = std::string(temp) + "chronotree-conformance-" +
                       std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++made);
    return CreateDirectoryW(Wide(path).c_str(), nullptr) ? path : "";
}

void MakeFolder(const std::string& path) { CreateDirectoryW(Wide(path).c_str(), nullptr); }

void MakeFile(const std::string& path, FILETIME lastWrite)
{
    HANDLE file =
        CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    SetFileTime(file, nullptr, &lastWrite, &lastWrite);
    CloseHandle(file);
}

void SetTimes(const std::string& path, FILETIME lastWrite, FILETIME lastAccess)
{
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    SetFileTime(file, nullptr, &lastAccess, &lastWrite);
    CloseHandle(file);
}

bool ReadTimes(const std::string& path, FILETIME* lastWrite, FILETIME* lastAccess)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data))
        return false;
    *lastWrite = data.ftLastWriteTime;
    *lastAccess = data.ftLastAccessTime;
    return true;
}

bool RenameEntry(const std::string& from, const std::string& to)
{
    return MoveFileW(Wide(from).c_str(), Wide(to).c_str()) != 0;
}

bool RemoveFile(const std::string& path) { return DeleteFileW(Wide(path).c_str()) != 0; }
