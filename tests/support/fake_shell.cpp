// Fakes of MessageBoxA and window mode for tests of the start-up.
#include "fake_shell.h"

#include "program_state.h"
#include "usage.h"
#include "window_mode.h"

namespace fakeshell {
namespace {
std::vector<Box> shown;
std::string written[2];
std::string argument = "-";
bool windowWorks = true;
int writesLeft = -1;
} // namespace

void FailWritesAfter(int writes) { writesLeft = writes; }

void Reset(bool windowSucceeds)
{
    shown.clear();
    written[0].clear();
    written[1].clear();
    argument = "-";
    windowWorks = windowSucceeds;
    writesLeft = -1;
}

std::vector<Box>& boxes() { return shown; }
std::string& output() { return written[0]; }
std::string& errors() { return written[1]; }
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

int WindowModeFailure() { return 1; }

void ShowUsage() { fakeshell::written[0] += "(usage)"; }

void ShowVersion() { fakeshell::written[0] += "(version)"; }

// Standard output and error as a script's redirection gives them: files, which the -v
// lists go to.
HANDLE GetStdHandle(DWORD which)
{
    return reinterpret_cast<HANDLE>(which == STD_OUTPUT_HANDLE ? 1 : 2);
}

DWORD GetFileType(HANDLE) { return FILE_TYPE_DISK; }

BOOL WriteFile(HANDLE file, const void* bytes, DWORD size, DWORD* written, OVERLAPPED*)
{
    if (file == reinterpret_cast<HANDLE>(1) && fakeshell::writesLeft >= 0 &&
        fakeshell::writesLeft-- == 0) {
        *written = 0;
        return FALSE;
    }
    fakeshell::written[reinterpret_cast<uintptr_t>(file) - 1].append(
        static_cast<const char*>(bytes), size);
    *written = size;
    return TRUE;
}
