// The layer's errors are the system's errno values, and their texts the C library's.
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// The limit a watch of every folder ran into, named with its value so that it can be raised.
DWORD DescribeWatchLimit(char* buffer, DWORD size)
{
    char limit[32] = "?";
    if (FILE* file = fopen("/proc/sys/fs/inotify/max_user_watches", "r")) {
        if (!fgets(limit, sizeof limit, file))
            strcpy(limit, "?");
        limit[strcspn(limit, "\n")] = '\0';
        fclose(file);
    }
    int length =
        snprintf(buffer, size, "the limit fs.inotify.max_user_watches (%s) is reached", limit);
    return length > 0 && static_cast<DWORD>(length) < size ? static_cast<DWORD>(length) : 0;
}

} // namespace

DWORD GetLastError() { return static_cast<DWORD>(errno); }

void SetLastError(DWORD code) { errno = static_cast<int>(code); }

DWORD FormatMessageA(DWORD, const void*, DWORD code, DWORD, char* buffer, DWORD size, va_list*)
{
    if (code == ERROR_TOO_MANY_WATCHES)
        return buffer ? DescribeWatchLimit(buffer, size) : 0;
    const char* text = strerror(static_cast<int>(code));
    size_t length = strlen(text);
    if (!buffer || length >= size)
        return 0;
    memcpy(buffer, text, length + 1);
    return static_cast<DWORD>(length);
}
