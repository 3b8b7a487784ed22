// Opening a path for its times and identity, and the message box, in UTF-8.
#define CHRONOTREE_SYSTEM_NAMES
#include "kept_folders.h"
#include "long_paths.h"
#include "wide_text.h"
#include "write_behind.h"
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

HANDLE CreateFileUtf8(const char* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                      DWORD disposition, DWORD flags, HANDLE templateFile)
{
    static wchar_t wide[WIDE_PATH_SIZE];
    size_t length = ResolveWidePath(path, strlen(path), false, wide);
    if (length == 0) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    SettleWritesTo(path); // a write still pending there comes first
    // A folder opened to write its times: the handle its listing kept, when there is one.
    bool folderWrite = access == GENERIC_WRITE && disposition == OPEN_EXISTING &&
                       (flags & FILE_FLAG_BACKUP_SEMANTICS);
    HANDLE kept = folderWrite ? TakeKeptFolder(wide, length) : INVALID_HANDLE_VALUE;
    if (folderWrite)
        NoteFolderWriteOpen(false);
    HANDLE late = CreateLateWrite(path, wide, kept, access, share, disposition, flags);
    if (late || kept != INVALID_HANDLE_VALUE)
        return late ? late : kept;
    HANDLE opened = CreateFileW(wide, access, share, security, disposition, flags, templateFile);
    if (folderWrite && opened == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED)
        NoteFolderWriteOpen(true);
    return opened;
}

namespace {
constexpr uint64_t TICKS_PER_SECOND = 10000000;
}

// A read sees what was set: when a write to the same file is pending, under any spelling,
// or was done while it read, the file is read again once the writes are done.
BOOL GetFileExactTime(HANDLE file, ExactTime* lastWrite)
{
    BY_HANDLE_FILE_INFORMATION info;
    DWORD mark = WritesDoneMark();
    if (!GetFileInformationByHandle(file, &info))
        return FALSE;
    uint64_t index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    if (SettleWritesToFile(info.dwVolumeSerialNumber, index, mark) &&
        !GetFileInformationByHandle(file, &info))
        return FALSE;
    uint64_t ticks = (static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                     info.ftLastWriteTime.dwLowDateTime;
    *lastWrite = ExactTime{static_cast<int64_t>(ticks / TICKS_PER_SECOND),
                           static_cast<uint32_t>(ticks % TICKS_PER_SECOND) * 100};
    return TRUE;
}

BOOL SetFileExactTime(HANDLE file, const ExactTime* lastWrite)
{
    // FILETIME values past 0x7FFFFFFFFFFFFFFF (the year 30828) are refused by the system.
    constexpr int64_t MOST_SECONDS = INT64_MAX / TICKS_PER_SECOND - 1;
    if (lastWrite->seconds < 0 || lastWrite->seconds > MOST_SECONDS ||
        lastWrite->nanoseconds > 999999999) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    uint64_t ticks =
        static_cast<uint64_t>(lastWrite->seconds) * TICKS_PER_SECOND + lastWrite->nanoseconds / 100;
    FILETIME time = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    return SetFileTimeUtf8(file, nullptr, nullptr, &time);
}

char* ReadWholeFile(const char* path, size_t* length)
{
    HANDLE file = CreateFileUtf8(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    LARGE_INTEGER size = {};
    char* text = nullptr;
    DWORD got = 0;
    if (GetFileSizeEx(file, &size) && size.QuadPart < 0x40000000) {
        text = static_cast<char*>(malloc(static_cast<size_t>(size.QuadPart) + 1));
        if (!text)
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    } else if (size.QuadPart >= 0x40000000) {
        SetLastError(ERROR_FILE_TOO_LARGE);
    }
    if (text && (!ReadFile(file, text, static_cast<DWORD>(size.QuadPart), &got, nullptr) ||
                 got != size.QuadPart)) {
        free(text);
        text = nullptr;
    }
    DWORD error = GetLastError();
    CloseHandle(file);
    if (!text) {
        SetLastError(error);
        return nullptr;
    }
    text[got] = '\0';
    *length = got;
    return text;
}

DWORD FormatMessageUtf8(DWORD flags, const void* source, DWORD code, DWORD language, char* buffer,
                        DWORD size, va_list* arguments)
{
    wchar_t wide[1024];
    DWORD units = FormatMessageW(flags, source, code, language, wide, 1024, arguments);
    if (units == 0)
        return 0;
    size_t bytes = Utf8FromWide(wide, units, buffer, size);
    return bytes == TEXT_DOES_NOT_FIT ? 0 : static_cast<DWORD>(bytes);
}

int MessageBoxUtf8(HWND owner, const char* text, const char* caption, UINT type)
{
    wchar_t* wideText = NewWideFromUtf8(text ? text : "");
    wchar_t* wideCaption = NewWideFromUtf8(caption ? caption : "");
    int answer = MessageBoxW(owner, wideText, wideCaption, type);
    free(wideText);
    free(wideCaption);
    return answer;
}

DWORD GetCurrentDirectoryUtf8(DWORD size, char* buffer)
{
    DWORD units = GetCurrentDirectoryW(0, nullptr);
    wchar_t* wide = units ? static_cast<wchar_t*>(calloc(units, sizeof(wchar_t))) : nullptr;
    DWORD got = wide ? GetCurrentDirectoryW(units, wide) : 0;
    DWORD result = 0;
    if (got > 0 && got < units) {
        char* text = NewUtf8FromWide(wide, got);
        size_t length = text ? strlen(text) : 0;
        result = !text           ? 0
                 : length < size ? static_cast<DWORD>(length)
                                 : static_cast<DWORD>(length + 1);
        if (text && length < size)
            memcpy(buffer, text, length + 1);
        free(text);
    }
    free(wide);
    return result;
}
