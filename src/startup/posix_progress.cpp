// One line on standard error, rewritten in place at most five times a second from half a
// second into a walk, with the folders visited and set so far and the folder being
// walked; erased before anything else is written and when the walk ends.
#include "posix_progress.h"

#include "folder_walk.h"
#include "program_state.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr int64_t FIRST_AFTER_MS = 500;
constexpr int64_t EVERY_MS = 200;

int64_t walkStarted;
int64_t lastShown;
bool shown;

int64_t NowMs()
{
    timespec now = {0, 0};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now); // no system call: cheap on every folder
    return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

int TerminalWidth()
{
    winsize size = {};
    return ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

void Erase()
{
    if (shown)
        fputs("\r\x1b[K", stderr);
    shown = false;
}

// The counts, then as much of the folder's path as fits, its end kept.
void Show(const char* folder)
{
    char line[1024];
    int width = TerminalWidth() - 1; // the last column would wrap on some terminals
    if (width >= static_cast<int>(sizeof line))
        width = sizeof line - 1;
    int used = snprintf(line, sizeof line, "%d folders, %d %s  ", programState.visitedCount,
                        programState.changedCount, programState.dryRun ? "would change" : "set");
    if (used > width)
        used = width;
    size_t room = static_cast<size_t>(width - used);
    size_t length = strlen(folder);
    const char* from = folder;
    if (length > room && room > 3) {
        from = folder + length - (room - 3);
        while ((*from & 0xC0) == 0x80) // never start inside a UTF-8 character
            from++;
        memcpy(line + used, "...", 3);
        used += 3;
    }
    for (; *from && static_cast<size_t>(used) < static_cast<size_t>(width); from++)
        line[used++] = static_cast<unsigned char>(*from) < 0x20 ? '?' : *from;
    line[used] = '\0';
    fprintf(stderr, "\r%s\x1b[K", line);
    fflush(stderr);
    shown = true;
}

void Follow(const char* folder)
{
    if (!folder) {
        Erase();
        return;
    }
    int64_t now = NowMs();
    if (programState.visitedCount == 0) // the top folder: a walk begins
        walkStarted = lastShown = now - EVERY_MS;
    if (programState.silent || now - walkStarted < FIRST_AFTER_MS || now - lastShown < EVERY_MS)
        return;
    lastShown = now;
    Show(folder);
}

} // namespace

void FollowWalksOnTerminal()
{
    if (isatty(STDERR_FILENO))
        walkProgress = Follow;
}
