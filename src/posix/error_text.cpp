// The layer's errors are the system's errno values, and their texts the C library's.
#include <windows.h>

#include <cerrno>
#include <cstring>

DWORD GetLastError() { return static_cast<DWORD>(errno); }

void SetLastError(DWORD code) { errno = static_cast<int>(code); }

DWORD FormatMessageA(DWORD, const void*, DWORD code, DWORD, char* buffer, DWORD size, va_list*)
{
    const char* text = strerror(static_cast<int>(code));
    size_t length = strlen(text);
    if (!buffer || length >= size)
        return 0;
    memcpy(buffer, text, length + 1);
    return static_cast<DWORD>(length);
}
