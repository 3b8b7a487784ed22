// The button commands, run synchronously inside the window procedure.
#include "window_commands.h"

#include "control_ids.h"
#include "folder_walk.h"
#include "keep_watch.h"
#include "program_state.h"
#include "run_summary.h"
#include "walk_in_window.h"
#include "walk_report.h"
#include "wide_text.h"
#include "window_menu.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <shlobj.h>

namespace {

constexpr UINT PICKER_FLAGS = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
// EM_GETLINE reads its buffer's capacity from a 16-bit count.
constexpr size_t MOST_LINE_UNITS = 0xFFFF;
// The longest path the system's picker can give, in UTF-16 units.
constexpr DWORD PICKER_PATH_UNITS = 32768;

// SHGetPathFromIDListEx (Vista on) gives paths past MAX_PATH; older shells have only
// SHGetPathFromIDListW, so it is looked up rather than imported.
bool WidePathOf(PCIDLIST_ABSOLUTE list, wchar_t* path)
{
    typedef BOOL(WINAPI * LongPathCall)(PCIDLIST_ABSOLUTE, PWSTR, DWORD, int);
    HMODULE shell = GetModuleHandleA("shell32.dll");
    auto longPath = reinterpret_cast<LongPathCall>(
        reinterpret_cast<void (*)()>(GetProcAddress(shell, "SHGetPathFromIDListEx")));
    if (longPath && longPath(list, path, PICKER_PATH_UNITS, 0))
        return true;
    return SHGetPathFromIDListW(list, path) != 0;
}

// A path as Explorer's "Copy as path" gives it comes in double quotes, which no Windows
// name can hold: the blanks around it and the quotes are dropped. Returns the start.
char* Unquoted(char* text)
{
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    size_t length = strlen(text);
    while (length > 0 && blank(text[length - 1]))
        text[--length] = '\0';
    while (blank(*text)) {
        text++;
        length--;
    }
    if (length >= 2 && text[0] == '"' && text[length - 1] == '"') {
        text[length - 1] = '\0';
        text++;
    }
    return text;
}

void BrowseIntoField()
{
    char* buffer = static_cast<char*>(calloc(PICKER_BUFFER_SIZE, 1));
    if (buffer && BrowseForFolderPath(programState.mainWindow, buffer)) {
        SetFieldText(buffer);
        // The next thing to do is the walk: Enter presses the set button, not "..." again.
        SetFocus(programState.setButton);
    }
    free(buffer);
}

void FinishWalk(HWND focused)
{
    EnableControls(true);
    SetFocus(focused && IsChild(programState.mainWindow, focused) ? focused
                                                                  : programState.setButton);
}

// The controls stay grey from the start of the walk until the summary is dismissed. The
// window keeps answering during the walk; closing it stops the walk, and the window goes
// without a summary once the walk has stopped.
void SetDatesFromField()
{
    if (programState.walkRunning)
        return;
    int length = 0;
    char* text = ReadEditLine(programState.folderEdit, &length);
    if (!text)
        return;
    char* folder = Unquoted(text);
    if (!*folder) {
        free(text);
        return;
    }
    HWND focused = GetFocus();
    EnableControls(false);
    // A control that is disabled loses the keyboard focus, and with no window of ours
    // focused a key reaches no dialog handling: Escape would not stop the walk. The main
    // window keeps it instead.
    SetFocus(programState.mainWindow);
    // The label shows the progress: drawn as plain text, not greyed, while the walk runs.
    EnableWindow(programState.folderLabel, TRUE);
    programState.walkRunning = 1;
    programState.stopRequested = 0;
    programState.closeRequested = 0;
    FollowWalkInWindow();
    KeepChangesInMemory(true); // for "Undo the last run"
    StartWatch(); // with "Keep up to date", the walk records what it enters
    RunFolderWalk(folder);
    if (programState.watch)
        KeepFolderInWindow(folder);
    KeepChangesInMemory(false);
    NoteWindowRun();
    StopFollowingWalk();
    EnableWindow(programState.folderLabel, FALSE);
    programState.walkRunning = 0;
    if (programState.stopRequested) {
        free(text);
        // Closed: the window goes. Escape: it stays as it was, with no summary.
        if (programState.closeRequested)
            DestroyWindow(programState.mainWindow);
        else
            FinishWalk(focused);
        return;
    }
    if (!programState.silent)
        ShowRunSummary(); // it may name the folder
    free(text);
    FinishWalk(focused);
}

// Escape stops a walk as closing does, but leaves the window; with no walk it closes it.
void Cancel()
{
    if (programState.walkRunning) {
        programState.stopRequested = 1;
        return;
    }
    PostMessageW(programState.mainWindow, WM_CLOSE, 0, 0);
}

} // namespace

void HandleCommand(WPARAM wParam)
{
    if (HIWORD(wParam) != 0)
        return;
    if (LOWORD(wParam) == IDCANCEL) { // Escape, through the dialog keyboard handling
        Cancel();
        return;
    }
    if (programState.walkRunning)
        return; // nothing starts while a walk runs: the controls are grey, keys too
    if (LOWORD(wParam) == IDC_BROWSE)
        BrowseIntoField();
    else if (LOWORD(wParam) == IDC_SET_DATES)
        SetDatesFromField();
}

namespace {

// The picker opens at the folder the field names, when it names one.
int CALLBACK StartPickerAt(HWND picker, UINT message, LPARAM, LPARAM start)
{
    if (message == BFFM_INITIALIZED && start)
        SendMessageW(picker, BFFM_SETSELECTIONW, TRUE, start);
    return 0;
}

// The field's text as a folder to start at, in a new buffer for free(); null when it names
// none.
wchar_t* FieldFolder()
{
    int length = 0;
    char* text = ReadEditLine(programState.folderEdit, &length);
    char* folder = text ? Unquoted(text) : nullptr;
    wchar_t* wide = folder && *folder ? NewWideFromUtf8(folder) : nullptr;
    free(text);
    DWORD attributes = wide ? GetFileAttributesW(wide) : INVALID_FILE_ATTRIBUTES;
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        free(wide);
        return nullptr;
    }
    return wide;
}

} // namespace

bool BrowseForFolderPath(HWND owner, char* buffer)
{
    if (!buffer)
        return false;
    buffer[0] = '\0';
    wchar_t* wide = static_cast<wchar_t*>(calloc(PICKER_PATH_UNITS, sizeof(wchar_t)));
    if (!wide)
        return false;
    BROWSEINFOW info = {};
    info.hwndOwner = owner;
    info.pszDisplayName = wide; // MAX_PATH units, which the full path then replaces
    info.ulFlags = PICKER_FLAGS;
    wchar_t* start = owner ? FieldFolder() : nullptr;
    info.lpfn = StartPickerAt;
    info.lParam = reinterpret_cast<LPARAM>(start);
    PIDLIST_ABSOLUTE list = SHBrowseForFolderW(&info);
    free(start);
    bool found = list && WidePathOf(list, wide) &&
                 Utf8FromWide(wide, wcslen(wide), buffer, PICKER_BUFFER_SIZE) != TEXT_DOES_NOT_FIT;
    IMalloc* allocator = nullptr;
    if (list && SUCCEEDED(SHGetMalloc(&allocator))) {
        allocator->Free(list);
        allocator->Release();
    }
    free(wide);
    return found;
}

// The field holds UTF-16; the walk gets its UTF-8. A field of more than 65535 units is cut
// there by EM_GETLINE, far beyond the longest folder the walk takes, so such a text is
// refused whole rather than walked cut.
char* ReadEditLine(HWND edit, int* length)
{
    *length = 0;
    size_t count = LOWORD(SendMessageW(edit, EM_LINELENGTH, 0, 0));
    if (count == 0)
        return nullptr;
    wchar_t* wide = static_cast<wchar_t*>(calloc(count + 1 < 2 ? 2 : count + 1, sizeof(wchar_t)));
    if (!wide)
        return nullptr;
    wide[0] = static_cast<wchar_t>(count < MOST_LINE_UNITS ? count : MOST_LINE_UNITS);
    LRESULT copied = SendMessageW(edit, EM_GETLINE, 0, reinterpret_cast<LPARAM>(wide));
    char* text = copied > 0 ? NewUtf8FromWide(wide, static_cast<size_t>(copied)) : nullptr;
    free(wide);
    if (text)
        *length = static_cast<int>(strlen(text));
    return text;
}

void SetFieldText(const char* text)
{
    wchar_t* wide = NewWideFromUtf8(text);
    if (wide)
        SetWindowTextW(programState.folderEdit, wide);
    free(wide);
}

namespace {

// GetFileAttributesW stops at MAX_PATH unless the path is in the "\\?\" form, which a
// path past it is then given.
DWORD AttributesOf(const wchar_t* path)
{
    DWORD attributes = GetFileAttributesW(path);
    size_t length = wcslen(path);
    if (attributes != INVALID_FILE_ATTRIBUTES || length < MAX_PATH - 12)
        return attributes;
    bool share = path[0] == L'\\' && path[1] == L'\\';
    const wchar_t* prefix = share ? L"\\\\?\\UNC" : L"\\\\?\\";
    wchar_t* whole = static_cast<wchar_t*>(calloc(length + 9, sizeof(wchar_t)));
    if (!whole)
        return attributes;
    wcscpy(whole, prefix);
    wcscat(whole, share ? path + 1 : path);
    attributes = GetFileAttributesW(whole);
    free(whole);
    return attributes;
}

} // namespace

void DropIntoField(HDROP drop)
{
    if (!programState.walkRunning) {
        UINT units = DragQueryFileW(drop, 0, nullptr, 0);
        wchar_t* path = static_cast<wchar_t*>(calloc(units + 1, sizeof(wchar_t)));
        if (path && units && DragQueryFileW(drop, 0, path, units + 1) == units) {
            // A file stands for the folder it is in.
            DWORD attributes = AttributesOf(path);
            wchar_t* last = wcsrchr(path, L'\\');
            if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                last)
                *(last > path && last[-1] == L':' ? last + 1 : last) = L'\0';
            char* text = NewUtf8FromWide(path, wcslen(path));
            if (text)
                SetFieldText(text);
            free(text);
        }
        free(path);
    }
    DragFinish(drop);
}
