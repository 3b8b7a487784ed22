/* The Windows one-pass floor: one listing a folder with the wide calls (basic information,
   large fetches) on the \\?\ form, and one time write a folder that holds a file below it. */
#include <windows.h>

#include <stdio.h>
#include <string.h>
#include <wchar.h>

enum { PATH_UNITS = 32768 };

static wchar_t path[PATH_UNITS];

static int Later(FILETIME a, FILETIME b) { return CompareFileTime(&a, &b) > 0; }

/* The newest file time below the folder spelled in `path` up to `length` (which ends in
   a backslash), setting every subfolder that holds a file; zero when there is none. */
static FILETIME Walk(size_t length)
{
    FILETIME newest = {0, 0};
    WIN32_FIND_DATAW found;
    if (length + 2 > PATH_UNITS)
        return newest;
    path[length] = L'*';
    path[length + 1] = L'\0';
    HANDLE find = FindFirstFileExW(path, FindExInfoBasic, &found, FindExSearchNameMatch, NULL,
                                   FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE)
        return newest;
    do {
        const wchar_t* name = found.cFileName;
        FILETIME time = found.ftLastWriteTime;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (name[0] == L'.' && (!name[1] || (name[1] == L'.' && !name[2])))
                continue;
            size_t nameLength = wcslen(name);
            if (length + nameLength + 2 > PATH_UNITS)
                continue;
            memcpy(path + length, name, nameLength * sizeof(wchar_t));
            path[length + nameLength] = L'\\';
            time = Walk(length + nameLength + 1);
            if (time.dwLowDateTime == 0 && time.dwHighDateTime == 0)
                continue;
            path[length + nameLength] = L'\0';
            HANDLE folder = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, NULL);
            if (folder != INVALID_HANDLE_VALUE) {
                SetFileTime(folder, NULL, NULL, &time);
                CloseHandle(folder);
            }
        }
        if (Later(time, newest))
            newest = time;
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return newest;
}

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: floor_windows FOLDER\n");
        return 2;
    }
    wcscpy(path, L"\\\\?\\");
    DWORD length = GetFullPathNameW(argv[1], PATH_UNITS - 8, path + 4, NULL);
    if (length == 0 || length >= PATH_UNITS - 8)
        return 1;
    length += 4;
    if (path[length - 1] != L'\\')
        path[length++] = L'\\';
    Walk(length);
    return 0;
}
