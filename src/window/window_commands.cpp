// The button commands, run synchronously inside the window procedure.
#include "window_commands.h"

#include "folder_walk.h"
#include "main_window.h"
#include "program_state.h"
#include "run_summary.h"

#include <cstdlib>
#include <cwchar>
#include <shlobj.h>

namespace {

constexpr size_t PICKER_BUFFER_SIZE = 4357;
constexpr UINT PICKER_FLAGS = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
// EM_GETLINE reads its buffer's capacity from a 16-bit count.
constexpr size_t MOST_LINE_BYTES = 0xFFFF;

// SHGetPathFromIDListA has MAX_PATH bytes for the path. In a multi-byte code page (UTF-8
// above all) a path of fewer characters can need more, and some versions then report
// success with the path cut; in a code page without some of its characters they come back
// as '?'. The path is taken only when it reads back as the wide path, character for
// character.
bool IsWholePath(PCIDLIST_ABSOLUTE list, const char* path)
{
    wchar_t wide[MAX_PATH], back[MAX_PATH];
    if (!SHGetPathFromIDListW(list, wide))
        return false;
    return MultiByteToWideChar(CP_ACP, 0, path, -1, back, MAX_PATH) > 0 && wcscmp(wide, back) == 0;
}

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
    bool found = SHGetPathFromIDListA(list, buffer) != 0 && IsWholePath(list, buffer);
    IMalloc* allocator = nullptr;
    if (SUCCEEDED(SHGetMalloc(&allocator))) {
        allocator->Free(list);
        allocator->Release();
    }
    return found;
}

// EM_LINELENGTH counts characters, but in a multi-byte code page the text takes more bytes
// than that: WM_GETTEXTLENGTH, sent through the ANSI call, counts what the text takes in
// the code page (at least), and the buffer is sized for that. A field of more than 65535
// bytes is cut there, far beyond the longest folder the walk takes, so such a text is
// refused whole rather than walked cut.
char* ReadEditLine(HWND edit, int* length)
{
    *length = 0;
    WORD count = LOWORD(SendMessageA(edit, EM_LINELENGTH, 0, 0));
    if (count == 0)
        return nullptr;
    size_t bytes = static_cast<size_t>(SendMessageA(edit, WM_GETTEXTLENGTH, 0, 0));
    size_t capacity = bytes > count ? bytes : count;
    if (capacity > MOST_LINE_BYTES)
        capacity = MOST_LINE_BYTES;
    char* text = static_cast<char*>(calloc(capacity + 1, 1));
    if (!text)
        return nullptr;
    // EM_GETLINE reads the buffer's capacity from its first two bytes.
    text[0] = static_cast<char>(capacity & 0xFF);
    text[1] = static_cast<char>(capacity >> 8);
    LRESULT copied = SendMessageA(edit, EM_GETLINE, 0, reinterpret_cast<LPARAM>(text));
    if (copied <= 0) {
        free(text);
        return nullptr;
    }
    *length = static_cast<int>(copied);
    return text;
}

void EnableControls(bool enable)
{
    const HWND controls[] = {programState.folderLabel, programState.folderEdit,
                             programState.browseButton, programState.setButton};
    for (HWND control : controls)
        EnableWindow(control, enable);
}
