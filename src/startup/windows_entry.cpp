// The Windows start-up: gathers the instance, the command tail and the show state. The
// command line is read wide and turned into UTF-8, so that names in every script reach the
// walk whole on every Windows version, whatever code page the system runs in.
#include "command_line.h"
#include "run_program.h"
#include "wide_text.h"

#include <windows.h>

#include <cwchar>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
    const wchar_t* wide = GetCommandLineW();
    char* commandLine = NewUtf8FromWide(wide, wcslen(wide));
    if (!commandLine)
        return 1;
    return RunProgram(GetModuleHandleA(nullptr), SkipProgramName(commandLine), show);
}
