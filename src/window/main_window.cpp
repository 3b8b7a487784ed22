// Builds the fixed-size main window and runs its message loop on the start-up thread.
#include "main_window.h"

#include "program_state.h"
#include "walk_in_window.h"
#include "window_commands.h"
#include "window_menu.h"
#include "window_mode.h"

#include <cstring>

namespace {

constexpr char MAIN_CAPTION[] = "Chronotree 0.01 by the Chronotree developers";
constexpr int WINDOW_WIDTH = 384;
constexpr int WINDOW_HEIGHT = 128;
constexpr int CONTROL_COUNT = 4;
#ifndef WM_DPICHANGED
constexpr UINT WM_DPICHANGED = 0x02E0; // Windows 8.1's, missing from older headers
#endif

bool RegisterMainClass(HINSTANCE instance)
{
    // The module's icon 1, in the size the system asks for and its small size.
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = static_cast<HICON>(
        LoadImageA(instance, MAKEINTRESOURCEA(1), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    windowClass.hIconSm = static_cast<HICON>(
        LoadImageA(instance, MAKEINTRESOURCEA(1), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                   GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = MAIN_WINDOW_CLASS;
    return RegisterClassExA(&windowClass) != 0;
}

// The controls are wide windows, so that the field takes what is typed in any script
// whatever the system's code page.
HWND CreateChild(HINSTANCE instance, const wchar_t* className, const wchar_t* text, DWORD exStyle,
                 DWORD style, const RECT& place, int identifier)
{
    return CreateWindowExW(exStyle, className, text, WS_CHILD | WS_VISIBLE | style, place.left,
                           place.top, place.right, place.bottom, programState.mainWindow,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(identifier)), instance,
                           nullptr);
}

// The controls' places at `dpi`: x, y, width and height in client coordinates, each the
// 96-DPI value scaled; `W` is the client width. At 96 DPI, the places as they always were.
void LayOut(LONG W, UINT dpi, RECT places[CONTROL_COUNT])
{
    auto S = [dpi](int value) {
        return static_cast<LONG>(MulDiv(value, static_cast<int>(dpi), 96));
    };
    places[0] = RECT{S(8), S(8), W - S(8), S(16)}; // the label
    places[1] = RECT{S(8), S(26), W - S(41), S(21)}; // the field
    places[2] = RECT{W - S(29), S(26), S(21), S(21)}; // "..."
    places[3] = RECT{W - S(168), S(51), S(160), S(25)}; // the set button
}

LONG ClientWidth()
{
    RECT client = {};
    GetClientRect(programState.mainWindow, &client);
    return client.right;
}

// Tab visits the field, "..." and the set button in that order; the set button is the
// default.
void CreateControls(HINSTANCE instance, UINT dpi)
{
    RECT places[CONTROL_COUNT];
    LayOut(ClientWidth(), dpi, places);
    programState.folderLabel = CreateChild(instance, L"STATIC", L"Folder:", 0, 0, places[0], 0);
    programState.folderEdit = CreateChild(instance, L"EDIT", nullptr, WS_EX_CLIENTEDGE,
                                          ES_AUTOHSCROLL | WS_TABSTOP, places[1], 0);
    if (programState.folderArgument)
        SetFieldText(programState.folderArgument);
    programState.browseButton =
        CreateChild(instance, L"BUTTON", L"...", 0, WS_TABSTOP, places[2], IDC_BROWSE);
    programState.setButton = CreateChild(instance, L"BUTTON", L"Set date to newest file", 0,
                                         BS_DEFPUSHBUTTON | WS_TABSTOP, places[3], IDC_SET_DATES);
}

// The window moved to a monitor of another DPI: every control to its place there.
void PlaceControls(UINT dpi)
{
    RECT places[CONTROL_COUNT];
    LayOut(ClientWidth(), dpi, places);
    const HWND controls[] = {programState.folderLabel, programState.folderEdit,
                             programState.browseButton, programState.setButton};
    for (int i = 0; i < CONTROL_COUNT; i++)
        MoveWindow(controls[i], places[i].left, places[i].top, places[i].right, places[i].bottom,
                   TRUE);
}

// The control that had the focus when the window was last active gets it back, as in a
// dialog box. At first, the field; or, when the window opens on a folder (as Explorer's
// entry opens it), the set button, so that Enter sets that folder's dates.
HWND focusedControl;

HWND FirstFocus()
{
    const char* folder = programState.folderArgument;
    return folder && *folder ? programState.setButton : programState.folderEdit;
}

void KeepFocus(WPARAM activation)
{
    if (LOWORD(activation) == WA_INACTIVE) {
        HWND focused = GetFocus();
        if (focused && IsChild(programState.mainWindow, focused))
            focusedControl = focused;
        return;
    }
    HWND wanted = focusedControl ? focusedControl : FirstFocus();
    if (IsWindowEnabled(wanted))
        SetFocus(wanted);
}

// Tahoma, 11 pixels high at 96 dots per inch, scaled with the DPI of the window's monitor.
// A font made for another DPI is given back once the controls have the new one.
HFONT currentFont;

void ApplyFont(UINT dpi)
{
    LOGFONTA description = {};
    description.lfHeight = -MulDiv(11, static_cast<int>(dpi), 96);
    description.lfWeight = FW_NORMAL;
    strcpy(description.lfFaceName, "Tahoma");
    HFONT font = CreateFontIndirectA(&description);
    const HWND windows[] = {programState.mainWindow, programState.folderLabel,
                            programState.folderEdit, programState.browseButton,
                            programState.setButton};
    for (HWND window : windows)
        SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), 1);
    if (currentFont)
        DeleteObject(currentFont);
    currentFont = font;
}

// The DPI of the window's monitor where Windows tells it (10, version 1607 on, for a
// program that declares per-monitor awareness), else the system's: looked up, not
// imported, so the program still starts on older Windows.
UINT WindowDpi(HWND window)
{
    typedef UINT(WINAPI * DpiOfWindow)(HWND);
    auto dpiOf = reinterpret_cast<DpiOfWindow>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
    UINT dpi = dpiOf && window ? dpiOf(window) : 0;
    if (dpi == 0) {
        HDC screen = GetDC(nullptr);
        dpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSY));
        ReleaseDC(nullptr, screen);
    }
    return dpi ? dpi : 96;
}

// WM_DPICHANGED: the window takes the place Windows suggests for the new DPI, and the
// controls and the font follow.
void FollowDpi(WPARAM wParam, const RECT* suggested)
{
    UINT dpi = HIWORD(wParam);
    SetWindowPos(programState.mainWindow, nullptr, suggested->left, suggested->top,
                 suggested->right - suggested->left, suggested->bottom - suggested->top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    PlaceControls(dpi);
    ApplyFont(dpi);
}

} // namespace

bool CreateMainWindow(HINSTANCE instance)
{
    if (!RegisterMainClass(instance)) {
        if (!programState.silent)
            MessageBoxA(nullptr, "RegisterClassEx() failed", "Error", MB_ICONERROR);
        return false;
    }
    // The window is made on the main monitor, at the system's DPI; its size is the 96-DPI
    // size scaled (the same at 96 DPI).
    UINT dpi = WindowDpi(nullptr);
    int width = MulDiv(WINDOW_WIDTH, static_cast<int>(dpi), 96);
    int height = MulDiv(WINDOW_HEIGHT, static_cast<int>(dpi), 96);
    programState.mainWindow = CreateWindowExA(
        0, MAIN_WINDOW_CLASS, MAIN_CAPTION, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
        (GetSystemMetrics(SM_CXSCREEN) - width) / 2, (GetSystemMetrics(SM_CYSCREEN) - height) / 2,
        width, height, nullptr, nullptr, instance, nullptr);
    if (!programState.mainWindow) {
        if (!programState.silent)
            MessageBoxA(nullptr, "CreateWindow() failed", "Error", MB_ICONERROR);
        return false;
    }
    dpi = WindowDpi(programState.mainWindow);
    CreateControls(instance, dpi);
    ApplyFont(dpi);
    DragAcceptFiles(programState.mainWindow, TRUE);
    AddOptionsToMenu();
    return true;
}

int WindowModeFailure() { return 1; }

int RunMessageLoop(int showState)
{
    focusedControl = nullptr;
    ShowWindow(programState.mainWindow, showState);
    UpdateWindow(programState.mainWindow);
    SetFocus(FirstFocus());
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchWindowMessage(&message);
    return 0;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CLOSE:
        if (programState
                .walkRunning) { // the walk stops before its next write; then the window goes
            programState.stopRequested = 1;
            programState.closeRequested = 1;
            return 0;
        }
        DestroyWindow(window);
        return 0;
    case DM_GETDEFID:
        return MAKELRESULT(IDC_SET_DATES, DC_HASDEFID);
    case WM_ACTIVATE:
        KeepFocus(wParam);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_COMMAND:
        HandleCommand(wParam);
        break;
    case WM_DROPFILES:
        DropIntoField(reinterpret_cast<HDROP>(wParam));
        return 0;
    case WM_DPICHANGED:
        FollowDpi(wParam, reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_CONTEXTMENU:
        ShowOptionsMenu(lParam);
        return 0;
    case WM_SYSCOMMAND:
        if (HandleMenuCommand(wParam))
            return 0;
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
