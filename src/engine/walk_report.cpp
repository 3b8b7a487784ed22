// Formats the -v lines and writes each one whole to the process's standard output or
// error, where the platform lets it go there.
#include "walk_report.h"

#include "folder_walk.h"
#include "platform_config.h"
#include "program_state.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr int64_t TICKS_PER_SECOND = 10000000;
constexpr int64_t DAYS_FROM_1601_TO_1970 = 134774;

// A line is at most two times, a path the walk's buffer can spell, and its name.
char line[2 * ISO_TIME_SIZE + 2 * PATH_BUFFER_SIZE + 16];

void Append(size_t* at, const char* text, size_t length)
{
    if (*at + length > sizeof line)
        length = sizeof line - *at;
    memcpy(line + *at, text, length);
    *at += length;
}

void Append(size_t* at, const char* text) { Append(at, text, strlen(text)); }

void WriteLine(DWORD which, size_t length)
{
    if (walkProgress)
        walkProgress(nullptr); // a progress line on the same terminal goes first
    HANDLE stream = GetStdHandle(which);
    if (!stream || stream == INVALID_HANDLE_VALUE)
        return;
    DWORD type = GetFileType(stream);
    if (type != FILE_TYPE_DISK && type != FILE_TYPE_PIPE &&
        !(REPORTS_TO_TERMINALS && type == FILE_TYPE_CHAR))
        return;
    DWORD written = 0;
    WriteFile(stream, line, static_cast<DWORD>(length), &written, nullptr);
}

} // namespace

// Days since 1970 to a civil date, in the proleptic Gregorian calendar.
void FormatIsoTime(FILETIME time, char* text)
{
    uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    int64_t seconds = static_cast<int64_t>(ticks / TICKS_PER_SECOND);
    int64_t days = seconds / 86400 - DAYS_FROM_1601_TO_1970;
    int64_t ofDay = seconds % 86400;
    int64_t shifted = days + 719468; // days since 0000-03-01
    int64_t era = (shifted >= 0 ? shifted : shifted - 146096) / 146097;
    int64_t ofEra = shifted - era * 146097;
    int64_t yearOfEra = (ofEra - ofEra / 1460 + ofEra / 36524 - ofEra / 146096) / 365;
    int64_t ofYear = ofEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    int64_t monthIndex = (5 * ofYear + 2) / 153;
    int day = static_cast<int>(ofYear - (153 * monthIndex + 2) / 5 + 1);
    int month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    int year = static_cast<int>(yearOfEra + era * 400 + (month <= 2));
    snprintf(text, ISO_TIME_SIZE, "%04d-%02d-%02dT%02d:%02d:%02dZ", year, month, day,
             static_cast<int>(ofDay / 3600), static_cast<int>(ofDay / 60 % 60),
             static_cast<int>(ofDay % 60));
}

void ReportFolderChange(const FILETIME* old, FILETIME now, const char* path)
{
    if (!programState.verbose)
        return;
    char oldText[ISO_TIME_SIZE] = "unknown", newText[ISO_TIME_SIZE];
    if (old)
        FormatIsoTime(*old, oldText);
    FormatIsoTime(now, newText);
    size_t at = 0;
    Append(&at, oldText);
    Append(&at, "\t");
    Append(&at, newText);
    Append(&at, "\t");
    Append(&at, path);
    Append(&at, LINE_END);
    WriteLine(STD_OUTPUT_HANDLE, at);
}

void ReportFolderProblem(const char* what, const char* path, size_t length, const char* name)
{
    if (!programState.verbose)
        return;
    size_t at = 0;
    Append(&at, what);
    Append(&at, "\t");
    Append(&at, path, length);
    if (name)
        Append(&at, name);
    Append(&at, LINE_END);
    WriteLine(STD_ERROR_HANDLE, at);
}
