// Builds the fixed-size main window and runs its message loop on the start-up thread.
#include "main_window.h"

#include "program_state.h"
#include "window_commands.h"
#include "window_menu.h"
#include "window_mode.h"

#include <cstring>

namespace {

constexpr char MAIN_CAPTION[] = "Chronotree 0.01 by the Chronotree developers";
constexpr int WINDOW_WIDTH = 384;
constexpr int WINDOW_HEIGHT = 128;

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

// Places are x, y, width and height in client coordinates; `W` is the client width. Tab
// visits the field, "..." and the set button in that order; the set button is the default.
void CreateControls(HINSTANCE instance)
{
    RECT client = {};
    GetClientRect(programState.mainWindow, &client);
    LONG W = client.right;
    programState.folderLabel =
        CreateChild(instance, L"STATIC", L"Folder:", 0, 0, RECT{8, 8, W - 8, 16}, 0);
    programState.folderEdit = CreateChild(instance, L"EDIT", nullptr, WS_EX_CLIENTEDGE,
                                          ES_AUTOHSCROLL | WS_TABSTOP, RECT{8, 26, W - 41, 21}, 0);
    if (programState.folderArgument)
        SetFieldText(programState.folderArgument);
    programState.browseButton = CreateChild(instance, L"BUTTON", L"...", 0, WS_TABSTOP,
                                            RECT{W - 29, 26, 21, 21}, IDC_BROWSE);
    programState.setButton =
        CreateChild(instance, L"BUTTON", L"Set date to newest file", 0,
                    BS_DEFPUSHBUTTON | WS_TABSTOP, RECT{W - 168, 51, 160, 25}, IDC_SET_DATES);
}

// The control that had the focus when the window was last active gets it back, as in a
// dialog box: the field at first.
HWND focusedControl;

void KeepFocus(WPARAM activation)
{
    if (LOWORD(activation) == WA_INACTIVE) {
        HWND focused = GetFocus();
        if (focused && IsChild(programState.mainWindow, focused))
            focusedControl = focused;
        return;
    }
    HWND wanted = focusedControl ? focusedControl : programState.folderEdit;
    if (IsWindowEnabled(wanted))
        SetFocus(wanted);
}

// Tahoma, 11 pixels high at 96 dots per inch, scaled with the screen's setting.
void ApplyFont()
{
    HDC screen = GetDC(nullptr);
    LOGFONTA description = {};
    description.lfHeight = -MulDiv(11, GetDeviceCaps(screen, LOGPIXELSY), 96);
    description.lfWeight = FW_NORMAL;
    strcpy(description.lfFaceName, "Tahoma");
    ReleaseDC(nullptr, screen);
    HFONT font = CreateFontIndirectA(&description);
    const HWND windows[] = {programState.mainWindow, programState.folderLabel,
                            programState.folderEdit, programState.browseButton,
                            programState.setButton};
    for (HWND window : windows)
        SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), 1);
}

} // namespace

bool CreateMainWindow(HINSTANCE instance)
{
    if (!RegisterMainClass(instance)) {
        if (!programState.silent)
            MessageBoxA(nullptr, "RegisterClassEx() failed", "Error", MB_ICONERROR);
        return false;
    }
    programState.mainWindow = CreateWindowExA(
        0, MAIN_WINDOW_CLASS, MAIN_CAPTION, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
        (GetSystemMetrics(SM_CXSCREEN) - WINDOW_WIDTH) / 2,
        (GetSystemMetrics(SM_CYSCREEN) - WINDOW_HEIGHT) / 2, WINDOW_WIDTH, WINDOW_HEIGHT, nullptr,
        nullptr, instance, nullptr);
    if (!programState.mainWindow) {
        if (!programState.silent)
            MessageBoxA(nullptr, "CreateWindow() failed", "Error", MB_ICONERROR);
        return false;
    }
    CreateControls(instance);
    ApplyFont();
    DragAcceptFiles(programState.mainWindow, TRUE);
    AddOptionsToMenu();
    return true;
}

int WindowModeFailure() { return 1; }

// With the dialog keyboard handling: Tab and Shift+Tab move between the controls, Enter
// presses the focused button or else the default one.
void DispatchWindowMessage(MSG* message)
{
    if (programState.mainWindow && IsDialogMessageW(programState.mainWindow, message))
        return;
    TranslateMessage(message);
    DispatchMessageW(message);
}

int RunMessageLoop(int showState)
{
    focusedControl = nullptr;
    ShowWindow(programState.mainWindow, showState);
    UpdateWindow(programState.mainWindow);
    SetFocus(programState.folderEdit);
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
