// One line on standard error, rewritten in place at most five times a second from half a
// second into a walk, with the folders visited and set so far and the folder being
// walked; erased before anything else is written, when the walk ends, and when Ctrl-C or
// SIGTERM ends the program.
#include "posix_progress.h"

#include "folder_walk.h"
#include "program_state.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr int64_t FIRST_AFTER_MS = 500;
constexpr int64_t EVERY_MS = 200;

// Below this many columns for the path, the counts give way to it.
constexpr size_t FEWEST_PATH_COLUMNS = 24;

int64_t walkStarted;
int64_t lastShown;
volatile sig_atomic_t shown;

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

// Copies as much of the end of `folder` as fits `room` bytes to `line` (with "..." where
// it is cut, room allowing), never starting inside a UTF-8 character; control characters
// show as '?'. Returns the bytes written.
size_t PathEnd(const char* folder, size_t room, char* line)
{
    size_t length = strlen(folder), used = 0;
    const char* from = folder;
    if (length > room) {
        bool dots = room > 3;
        from = folder + length - (dots ? room - 3 : room);
        while ((*from & 0xC0) == 0x80)
            from++;
        if (dots) {
            memcpy(line, "...", 3);
            used = 3;
        }
    }
    for (; *from && used < room; from++)
        line[used++] = static_cast<unsigned char>(*from) < 0x20 ? '?' : *from;
    return used;
}

// The counts, then as much of the folder's path as fits, its end kept; on a narrow
// terminal, the end of the path alone.
void Show(const char* folder)
{
    char line[1024];
    int width = TerminalWidth() - 1; // the last column would wrap on some terminals
    if (width >= static_cast<int>(sizeof line))
        width = sizeof line - 1;
    size_t room = width > 0 ? static_cast<size_t>(width) : 0;
    int counted = snprintf(line, sizeof line, "%d folders, %d %s  ", programState.visitedCount,
                           programState.changedCount, programState.dryRun ? "would change" : "set");
    size_t used = static_cast<size_t>(counted);
    if (used + FEWEST_PATH_COLUMNS > room)
        used = 0;
    used += PathEnd(folder, room - used, line + used);
    line[used] = '\0';
    fprintf(stderr, "\r%s\x1b[K", line);
    fflush(stderr);
    shown = true;
}

// The terminal keeps no half-drawn line when the program is stopped: the line goes, then
// the signal ends the program as it would have.
void EraseAndEnd(int signal)
{
    if (shown)
        (void)!write(STDERR_FILENO, "\r\x1b[K", 4);
    ::signal(signal, SIG_DFL);
    raise(signal);
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
    if (!isatty(STDERR_FILENO))
        return;
    walkProgress = Follow;
    signal(SIGINT, EraseAndEnd);
    signal(SIGTERM, EraseAndEnd);
}
