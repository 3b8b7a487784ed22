// The POSIX start-up: the shell has already split the command line, so every argument
// word is one token, byte for byte. There is no window system to hand over to.
#include "command_line.h"
#include "program_state.h"
#include "run_program.h"
#include "window_mode.h"

#include <cstdio>

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
    return RunProgramWithTokens(nullptr, slots, count, SW_SHOWDEFAULT);
}
