// The POSIX start-up: the shell has already split the command line, so every argument
// word is one token, byte for byte. There is no window system to hand over to.
#include "command_line.h"
#include "program_state.h"
#include "run_program.h"
#include "window_mode.h"

#include <cstdio>
#include <pthread.h>

namespace {

// The walk recurses once per level: the deepest tree the path buffer can spell needs about
// 3 MB of stack, three times that under AddressSanitizer. The program runs on a thread
// whose stack does not depend on the shell's limit; only what is used becomes resident.
constexpr size_t PROGRAM_STACK = 64 * 1024 * 1024;

struct Run {
    char** slots;
    int count;
    int status;
};

void* RunOnThread(void* given)
{
    Run* run = static_cast<Run*>(given);
    run->status = RunProgramWithTokens(nullptr, run->slots, run->count, SW_SHOWDEFAULT);
    return nullptr;
}

} // namespace

bool CreateMainWindow(HINSTANCE)
{
    if (!programState.silent)
        fprintf(stderr, "chronotree: window mode needs Windows; here use: chronotree -a [-s] "
                        "FOLDER...\n");
    return false;
}

int RunMessageLoop(int) { return 0; }

int main(int argc, char** argv)
{
    char* slots[MAX_ARGUMENTS + 1] = {};
    int count = 1;
    for (int i = 1; i < argc && count <= MAX_ARGUMENTS; i++)
        slots[count++] = argv[i];
    Run run = {slots, count, 1};
    pthread_attr_t attributes;
    pthread_t thread;
    if (pthread_attr_init(&attributes) != 0 ||
        pthread_attr_setstacksize(&attributes, PROGRAM_STACK) != 0 ||
        pthread_create(&thread, &attributes, RunOnThread, &run) != 0) {
        RunOnThread(&run); // no thread to be had: the shell's stack will do for most trees
        return run.status;
    }
    pthread_join(thread, nullptr);
    return run.status;
}
