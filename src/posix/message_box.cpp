// Message boxes become lines: the summary on standard output, anything else on standard error.
#include <windows.h>

#include <cstdio>

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type)
{
    if (type & MB_ICONINFORMATION) {
        printf("%s\n", text);
        fflush(stdout);
    } else {
        fprintf(stderr, "%s: %s\n", caption, text);
    }
    return IDOK;
}
