// The button commands, run synchronously inside the window procedure.
#include "window_commands.h"

#include "folder_walk.h"
#include "main_window.h"
#include "program_state.h"
#include "run_summary.h"

#include <cstdlib>
#include <shlobj.h>

namespace {

constexpr size_t PICKER_BUFFER_SIZE = 4357;
constexpr UINT PICKER_FLAGS = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;

void BrowseIntoField()
{
    char buffer[PICKER_BUFFER_SIZE] = {};
    if (BrowseForFolderPath(programState.mainWindow, buffer))
        SendMessageA(programState.folderEdit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(buffer));
}

// The controls stay grey from the start of the walk until the summary is dismissed.
void SetDatesFromField()
{
    int length = 0;
    char* text = ReadEditLine(programState.folderEdit, &length);
    if (!text)
        return;
    EnableControls(false);
    RunFolderWalk(text);
    free(text);
    if (!programState.silent)
        ShowRunSummary();
    EnableControls(true);
}

} // namespace

void HandleCommand(WPARAM wParam)
{
    if (HIWORD(wParam) != 0)
        return;
    if (LOWORD(wParam) == IDC_BROWSE)
        BrowseIntoField();
    else if (LOWORD(wParam) == IDC_SET_DATES)
        SetDatesFromField();
}

bool BrowseForFolderPath(HWND owner, char* buffer)
{
    if (!buffer)
        return false;
    buffer[0] = '\0';
    BROWSEINFOA info = {};
    info.hwndOwner = owner;
    info.pszDisplayName = buffer;
    info.ulFlags = PICKER_FLAGS;
    PIDLIST_ABSOLUTE list = SHBrowseForFolderA(&info);
    if (!list)
        return false;
    // The full path replaces the display name that the picker wrote into the buffer.
    bool found = SHGetPathFromIDListA(list, buffer) != 0;
    IMalloc* allocator = nullptr;
    if (SUCCEEDED(SHGetMalloc(&allocator))) {
        allocator->Free(list);
        allocator->Release();
    }
    return found;
}

char* ReadEditLine(HWND edit, int* length)
{
    *length = 0;
    WORD count = LOWORD(SendMessageA(edit, EM_LINELENGTH, 0, 0));
    if (count == 0)
        return nullptr;
    char* text = static_cast<char*>(calloc(count + 1u, 1));
    if (!text)
        return nullptr;
    // EM_GETLINE reads the buffer's capacity from its first two bytes.
    text[0] = static_cast<char>(count & 0xFF);
    text[1] = static_cast<char>(count >> 8);
    if (SendMessageA(edit, EM_GETLINE, 0, reinterpret_cast<LPARAM>(text)) == 0) {
        free(text);
        return nullptr;
    }
    *length = count;
    return text;
}

void EnableControls(bool enable)
{
    const HWND controls[] = {programState.folderLabel, programState.folderEdit,
                             programState.browseButton, programState.setButton};
    for (HWND control : controls)
        EnableWindow(control, enable);
}
