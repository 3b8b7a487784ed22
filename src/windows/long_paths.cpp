// Path resolution: the first folder listed while nothing is open is normalised once, and
// the names the walk adds below it are passed on exactly as the listings gave them.
#define CHRONOTREE_SYSTEM_NAMES
#include "long_paths.h"

#include "wide_text.h"

#include <windows.h>

#include <cstring>

namespace {

// The folder remembered from the first listing started with none open: as spelled (with
// its trailing separator) and as resolved.
char topSpelled[WIDE_PATH_SIZE * 3];
size_t topSpelledLength;
wchar_t topWide[WIDE_PATH_SIZE];
size_t topWideLength;
bool topKnown;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool StartsWith(const wchar_t* text, const wchar_t* start)
{
    return wcsncmp(text, start, wcslen(start)) == 0;
}

// True when `names` is a run of names the walk could have added: no "." or "..", no '/'.
bool AreListedNames(const char* names, size_t length)
{
    size_t begin = 0;
    for (size_t at = 0; at <= length; at++) {
        if (at < length && names[at] == '/')
            return false;
        if (at < length && names[at] != '\\')
            continue;
        size_t size = at - begin;
        if ((size == 1 && names[begin] == '.') ||
            (size == 2 && names[begin] == '.' && names[begin + 1] == '.'))
            return false;
        begin = at + 1;
    }
    return true;
}

// The Win32 normalisation, then the prefix that turns it off for every later call.
size_t ResolveAfresh(const char* path, size_t length, wchar_t* into)
{
    static wchar_t given[WIDE_PATH_SIZE];
    static wchar_t full[WIDE_PATH_SIZE];
    if (length == 0 || WideFromUtf8(path, length, given, WIDE_PATH_SIZE) == TEXT_DOES_NOT_FIT)
        return 0;
    if (StartsWith(given, L"\\\\?\\")) { // already in the form that is taken as it stands
        wcscpy(into, given);
        return wcslen(into);
    }
    DWORD made = GetFullPathNameW(given, WIDE_PATH_SIZE, full, nullptr);
    if (made == 0 || made >= WIDE_PATH_SIZE)
        return 0;
    const wchar_t* prefix = L"\\\\?\\";
    const wchar_t* rest = full;
    if (StartsWith(full, L"\\\\.\\") || StartsWith(full, L"\\\\?\\"))
        prefix = L""; // a device path, used as the system made it
    else if (StartsWith(full, L"\\\\")) {
        prefix = L"\\\\?\\UNC\\";
        rest = full + 2;
    }
    size_t prefixLength = wcslen(prefix), restLength = wcslen(rest);
    if (prefixLength + restLength + 2 > WIDE_PATH_SIZE) // room for "*" and its NUL
        return 0;
    memcpy(into, prefix, prefixLength * sizeof(wchar_t));
    memcpy(into + prefixLength, rest, (restLength + 1) * sizeof(wchar_t));
    return prefixLength + restLength;
}

// The folder part of a listing's resolution is remembered as the walk's top.
void RememberTop(const char* path, size_t length, const wchar_t* wide, size_t wideLength)
{
    topKnown = length < sizeof topSpelled && wideLength > 0 && IsSeparator(path[length - 1]) &&
               wide[wideLength - 1] == L'\\';
    if (!topKnown)
        return;
    memcpy(topSpelled, path, length);
    topSpelledLength = length;
    memcpy(topWide, wide, wideLength * sizeof(wchar_t));
    topWideLength = wideLength;
}

int openListings;

} // namespace

void NoteListingOpened() { openListings++; }

void NoteListingClosed() { openListings--; }

size_t ResolveWidePath(const char* path, size_t length, bool listing, wchar_t* into)
{
    if (openListings > 0 && topKnown && length >= topSpelledLength &&
        memcmp(path, topSpelled, topSpelledLength) == 0 &&
        AreListedNames(path + topSpelledLength, length - topSpelledLength)) {
        memcpy(into, topWide, topWideLength * sizeof(wchar_t));
        size_t names = WideFromUtf8(path + topSpelledLength, length - topSpelledLength,
                                    into + topWideLength, WIDE_PATH_SIZE - 1 - topWideLength);
        return names == TEXT_DOES_NOT_FIT ? 0 : topWideLength + names;
    }
    size_t wideLength = ResolveAfresh(path, length, into);
    if (listing && openListings == 0)
        RememberTop(path, length, into, wideLength);
    return wideLength;
}
