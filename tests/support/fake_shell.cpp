// Fakes of MessageBoxA and window mode for tests of the start-up.
#include "fake_shell.h"

#include "program_state.h"
#include "window_mode.h"

namespace fakeshell {
namespace {
std::vector<Box> shown;
std::string argument = "-";
bool windowWorks = true;
} // namespace

void Reset(bool windowSucceeds)
{
    shown.clear();
    argument = "-";
    windowWorks = windowSucceeds;
}

std::vector<Box>& boxes() { return shown; }
std::string& windowModeArgument() { return argument; }

} // namespace fakeshell

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    fakeshell::shown.push_back(fakeshell::Box{owner, text, caption, type});
    return IDOK;
}

bool CreateMainWindow(HINSTANCE)
{
    fakeshell::argument = programState.folderArgument ? programState.folderArgument : "(none)";
    return fakeshell::windowWorks;
}

int RunMessageLoop(int) { return 0; }
