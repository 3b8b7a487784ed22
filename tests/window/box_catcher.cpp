// The CBT hook behind box_catcher.h.
#include "box_catcher.h"

namespace {

HHOOK hook;
std::vector<CaughtBox> caught;
std::string refusedClass;

std::string ClassOf(HWND window)
{
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam)
{
    HWND window = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_CREATEWND && !refusedClass.empty()) {
        auto* create = reinterpret_cast<CBT_CREATEWNDA*>(lParam);
        const char* name = create->lpcs->lpszClass;
        if (HIWORD(reinterpret_cast<ULONG_PTR>(name)) && refusedClass == name)
            return 1;
    }
    if (code == HCBT_ACTIVATE && ClassOf(window) == "#32770") {
        char caption[256] = {}, text[4096] = {};
        GetWindowTextA(window, caption, sizeof caption);
        GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
        caught.push_back(CaughtBox{GetWindow(window, GW_OWNER), caption, text});
        PostMessageA(window, WM_COMMAND, IDOK, 0);
    }
    return CallNextHookEx(hook, code, wParam, lParam);
}

} // namespace

void StartCatchingBoxes()
{
    caught.clear();
    refusedClass.clear();
    hook = SetWindowsHookExA(WH_CBT, OnCbt, nullptr, GetCurrentThreadId());
}

void StopCatchingBoxes()
{
    UnhookWindowsHookEx(hook);
    refusedClass.clear();
}

std::vector<CaughtBox>& CaughtBoxes() { return caught; }

void RefuseWindowsOfClass(const char* className) { refusedClass = className; }
