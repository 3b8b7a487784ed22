// Reading a list file whole: the restore reads every line before it writes anything.
#include <windows.h>

#include <cerrno>
#include <cstdlib>
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
