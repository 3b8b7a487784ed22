// The Windows start-up: gathers the instance, the command tail and the show state.
#include "command_line.h"
#include "run_program.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
    return RunProgram(GetModuleHandleA(nullptr), SkipProgramName(GetCommandLineA()), show);
}
