// Reading a list file whole (the restore reads every line before it writes anything), and
// the current folder, which the lists name every relative path from.
#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

char* ReadWholeFile(const char* path, size_t* length)
{
    int file = open(path, O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return nullptr;
    size_t size = 0, capacity = 65536;
    char* text = static_cast<char*>(malloc(capacity + 1));
    for (;;) {
        if (text && size == capacity) {
            char* larger = static_cast<char*>(realloc(text, 2 * capacity + 1));
            if (!larger)
                free(text);
            text = larger;
            capacity *= 2;
        }
        if (!text) {
            close(file);
            errno = ENOMEM;
            return nullptr;
        }
        ssize_t got = read(file, text + size, capacity - size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            int error = errno;
            close(file);
            if (got < 0) {
                free(text);
                errno = error;
                return nullptr;
            }
            break;
        }
        size += static_cast<size_t>(got);
    }
    text[size] = '\0';
    *length = size;
    return text;
}

DWORD GetCurrentDirectoryA(DWORD size, char* buffer)
{
    char* folder = getcwd(nullptr, 0); // any length the system can spell
    if (!folder)
        return 0;
    size_t length = strlen(folder);
    DWORD result = static_cast<DWORD>(length + 1);
    if (length < size) {
        memcpy(buffer, folder, length + 1);
        result = static_cast<DWORD>(length);
    }
    free(folder);
    return result;
}
