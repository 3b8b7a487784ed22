// The two standard handles the program writes its lists to: descriptors 1 and 2.
#include "handle_values.h"

#include <windows.h>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int Descriptor(HANDLE file)
{
    uintptr_t value = reinterpret_cast<uintptr_t>(file);
    return value == STD_HANDLE_BASE + 1 || value == STD_HANDLE_BASE + 2
               ? static_cast<int>(value - STD_HANDLE_BASE)
               : -1;
}

} // namespace

HANDLE GetStdHandle(DWORD which)
{
    if (which == STD_OUTPUT_HANDLE)
        return reinterpret_cast<HANDLE>(STD_HANDLE_BASE + 1);
    if (which == STD_ERROR_HANDLE)
        return reinterpret_cast<HANDLE>(STD_HANDLE_BASE + 2);
    return INVALID_HANDLE_VALUE;
}

DWORD GetFileType(HANDLE file)
{
    struct stat found;
    int descriptor = Descriptor(file);
    if (descriptor < 0 || fstat(descriptor, &found) != 0)
        return FILE_TYPE_UNKNOWN;
    if (S_ISREG(found.st_mode))
        return FILE_TYPE_DISK;
    if (S_ISFIFO(found.st_mode) || S_ISSOCK(found.st_mode))
        return FILE_TYPE_PIPE;
    return FILE_TYPE_CHAR;
}

BOOL WriteFile(HANDLE file, const void* bytes, DWORD size, DWORD* written, OVERLAPPED* overlapped)
{
    int descriptor = Descriptor(file);
    *written = 0;
    if (descriptor < 0 || overlapped)
        return FALSE;
    const char* at = static_cast<const char*>(bytes);
    while (*written < size) {
        ssize_t done = write(descriptor, at + *written, size - *written);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0) {
            if (done == 0)
                errno = EIO;
            return FALSE;
        }
        *written += static_cast<DWORD>(done);
    }
    return TRUE;
}
