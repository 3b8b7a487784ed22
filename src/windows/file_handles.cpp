// Opening a path for its times and identity, and the message box, in UTF-8.
#define CHRONOTREE_SYSTEM_NAMES
#include "long_paths.h"
#include "wide_text.h"
#include <windows.h>

#include <cstdlib>
#include <cstring>

HANDLE CreateFileUtf8(const char* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                      DWORD disposition, DWORD flags, HANDLE templateFile)
{
    static wchar_t wide[WIDE_PATH_SIZE];
    if (ResolveWidePath(path, strlen(path), false, OpenListingCount(), wide) == 0) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileW(wide, access, share, security, disposition, flags, templateFile);
}

int MessageBoxUtf8(HWND owner, const char* text, const char* caption, UINT type)
{
    wchar_t* wideText = NewWideFromUtf8(text ? text : "");
    wchar_t* wideCaption = NewWideFromUtf8(caption ? caption : "");
    int answer = MessageBoxW(owner, wideText, wideCaption, type);
    free(wideText);
    free(wideCaption);
    return answer;
}
