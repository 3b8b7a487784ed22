// Formats the lists and writes each line whole to the process's standard output or error,
// where the platform lets it go there.
#include "walk_report.h"

#include "output_lines.h"
#include "platform_config.h"
#include "program_state.h"
#include "text_builder.h"
#include "walk_level.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int64_t TICKS_PER_SECOND = 10000000;
constexpr int64_t DAYS_FROM_1601_TO_1970 = 134774;

// A line is at most two times, a path the walk's buffer can spell and its name, each byte
// escaped to at most four, and a reason.
char line[2 * ISO_TIME_SIZE + 8 * PATH_BUFFER_SIZE + 1024];

void Append(size_t* at, const char* text, size_t length)
{
    if (*at + length > sizeof line)
        length = sizeof line - *at;
    memcpy(line + *at, text, length);
    *at += length;
}

void Append(size_t* at, const char* text) { Append(at, text, strlen(text)); }

void AppendPath(size_t* at, const char* path, size_t length)
{
    if (*at + 4 * length > sizeof line)
        length = (sizeof line - *at) / 4;
    *at += EscapePath(path, length, line + *at);
}

// A path the lists can give back from any folder: not relative to the current folder.
// On Windows "D:x" and "\x" are left as they are (they hang on a drive, not a folder).
bool IsRelative(const char* path)
{
    if (path[0] == PATH_SEPARATOR || path[0] == '/' || path[0] == '\0')
        return false;
    return PATH_SEPARATOR != '\\' || path[1] != ':';
}

// The current folder and a separator, so that a list made from a relative path restores
// from anywhere; nothing when the current folder cannot be had. It is asked once: the
// program never changes its current folder, and a line a folder must cost no more calls.
void AppendCurrentFolder(size_t* at)
{
    static char folder[PATH_BUFFER_SIZE];
    static bool asked;
    if (!asked) {
        asked = true;
        DWORD got = GetCurrentDirectoryA(sizeof folder, folder);
        folder[got < sizeof folder ? got : 0] = '\0';
    }
    size_t length = strlen(folder);
    if (length == 0)
        return;
    AppendPath(at, folder, length);
    if (folder[length - 1] != PATH_SEPARATOR)
        Append(at, &PATH_SEPARATOR, 1);
}

} // namespace

ExactTime ExactFromFileTime(FILETIME time)
{
    uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return ExactTime{static_cast<int64_t>(ticks / TICKS_PER_SECOND),
                     static_cast<uint32_t>(ticks % TICKS_PER_SECOND) * 100};
}

FILETIME FileTimeFromExact(ExactTime time)
{
    if (time.seconds < 0)
        return FILETIME{0, 0};
    uint64_t ticks =
        static_cast<uint64_t>(time.seconds) * TICKS_PER_SECOND + time.nanoseconds / 100;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// Days since 1970 to a civil date, in the proleptic Gregorian calendar.
void FormatIsoTime(ExactTime time, char* text)
{
    int64_t seconds = time.seconds;
    int64_t ofDay = seconds % 86400;
    int64_t days = seconds / 86400;
    if (ofDay < 0) { // before 1601: floor, not truncation
        ofDay += 86400;
        days--;
    }
    int64_t shifted = days - DAYS_FROM_1601_TO_1970 + 719468; // days since 0000-03-01
    int64_t era = (shifted >= 0 ? shifted : shifted - 146096) / 146097;
    int64_t ofEra = shifted - era * 146097;
    int64_t yearOfEra = (ofEra - ofEra / 1460 + ofEra / 36524 - ofEra / 146096) / 365;
    int64_t ofYear = ofEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    int64_t monthIndex = (5 * ofYear + 2) / 153;
    int day = static_cast<int>(ofYear - (153 * monthIndex + 2) / 5 + 1);
    int month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    int64_t year = yearOfEra + era * 400 + (month <= 2);
    unsigned fraction = time.nanoseconds;
    for (int digits = 9; digits > TIME_FRACTION_DIGITS; digits--)
        fraction /= 10;
    TextBuilder iso = StartText(text, ISO_TIME_SIZE);
    const int64_t parts[] = {year, month, day, ofDay / 3600, ofDay / 60 % 60, ofDay % 60};
    const char* after[] = {"-", "-", "T", ":", ":", "."};
    for (int i = 0; i < 6; i++) {
        AddNumber(&iso, parts[i], i == 0 ? 4 : 2);
        AddText(&iso, after[i]);
    }
    AddNumber(&iso, fraction, TIME_FRACTION_DIGITS);
    AddText(&iso, "Z");
}

size_t EscapePath(const char* path, size_t length, char* into)
{
    if (!ESCAPES_PATHS) {
        memcpy(into, path, length);
        return length;
    }
    size_t at = 0;
    for (size_t i = 0; i < length; i++) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        const char* pair = c == '\\'   ? "\\\\"
                           : c == '\t' ? "\\t"
                           : c == '\n' ? "\\n"
                           : c == '\r' ? "\\r"
                                       : nullptr;
        if (pair) {
            memcpy(into + at, pair, 2);
            at += 2;
        } else if (c < 0x20 || c == 0x7F) {
            const char* hex = "0123456789ABCDEF";
            const char code[] = {'\\', 'x', hex[c >> 4], hex[c & 15]};
            memcpy(into + at, code, 4);
            at += 4;
        } else {
            into[at++] = static_cast<char>(c);
        }
    }
    return at;
}

namespace {

// The lines of the latest window run, for its undo.
bool keeping;
char* kept;
size_t keptLength, keptCapacity;

bool Keep(const char* text, size_t length)
{
    if (keptLength + length > keptCapacity) {
        size_t capacity = keptCapacity ? keptCapacity : 65536;
        while (capacity < keptLength + length)
            capacity *= 2;
        char* grown = static_cast<char*>(realloc(kept, capacity));
        if (!grown)
            return false;
        kept = grown;
        keptCapacity = capacity;
    }
    memcpy(kept + keptLength, text, length);
    keptLength += length;
    return true;
}

} // namespace

void KeepChangesInMemory(bool keep)
{
    keeping = keep;
    if (keep)
        keptLength = 0;
}

bool ChangesKept() { return keeping; }

const char* KeptChanges(size_t* length)
{
    *length = keptLength;
    return keptLength ? kept : nullptr;
}

namespace {

bool WriteChange(const char* text, size_t length)
{
    if (keeping && !Keep(text, length)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false; // the undo would not be whole: nothing more is written
    }
    return !programState.verbose || WriteWholeLine(STD_OUTPUT_HANDLE, text, length);
}

} // namespace

bool ReportFolderChange(const ExactTime* old, ExactTime now, const char* path,
                        const ExactTime* oldCreated)
{
    if (!programState.verbose && !keeping)
        return true;
    char oldText[ISO_TIME_SIZE] = "unknown", newText[ISO_TIME_SIZE];
    if (old)
        FormatIsoTime(*old, oldText);
    FormatIsoTime(now, newText);
    size_t at = 0;
    Append(&at, oldText);
    Append(&at, "\t");
    Append(&at, newText);
    Append(&at, "\t");
    if (IsRelative(path))
        AppendCurrentFolder(&at);
    AppendPath(&at, path, strlen(path));
    if (oldCreated) {
        char createdText[ISO_TIME_SIZE];
        FormatIsoTime(*oldCreated, createdText);
        Append(&at, "\t");
        Append(&at, createdText);
    }
    Append(&at, LINE_END);
    return WriteChange(line, at);
}

void ReportLateWriteFailures(DWORD wait)
{
    static char path[PATH_BUFFER_SIZE];
    static bool reporting; // the failures' own lines do not wait again
    if (reporting)
        return;
    reporting = true;
    DWORD error = 0;
    while (TakeFailedWrite(wait, path, sizeof path, &error)) {
        ReportFolderProblem("cannot set", path, strlen(path), nullptr, error);
        CountFailure();
        programState.changedCount--;
    }
    reporting = false;
}

void ReportFolderProblem(const char* what, const char* path, size_t length, const char* name,
                         DWORD error, const char* reason)
{
    ReportLateWriteFailures(TAKE_ALL);
    char described[512];
    if (!reason) {
        DescribeError(error, described, sizeof described);
        reason = described;
    }
    size_t at = 0;
    Append(&at, PROGRAM_PREFIX);
    Append(&at, what);
    Append(&at, " '");
    AppendPath(&at, path, length);
    if (name)
        AppendPath(&at, name, strlen(name));
    Append(&at, "': ");
    Append(&at, reason);
    Append(&at, LINE_END);
    WriteWholeLine(STD_ERROR_HANDLE, line, at);
}

void ReportListLost(DWORD error)
{
    char text[600];
    TextBuilder line = StartText(text, sizeof text);
    AddText(&line, "cannot write the list of changes, so no folder after the last one listed is "
                   "changed: ");
    char reason[512];
    DescribeError(error, reason, sizeof reason);
    AddText(&line, reason);
    WriteErrorLine(text);
    programState.listLost = 1;
    programState.failureCount++;
}

void CountFailure()
{
    programState.failureCount++;
    programState.latestFailures++;
}

void CountTopFailure(DWORD error)
{
    programState.failureCount++;
    programState.topUnlisted = 1;
    programState.topError = error;
}

void ReportFutureFile(const char* folder, size_t length, const char* name, ExactTime time)
{
    ReportLateWriteFailures(TAKE_ALL);
    char iso[ISO_TIME_SIZE];
    FormatIsoTime(time, iso);
    iso[strcspn(iso, "T")] = '\0'; // the day is enough to tell
    size_t at = 0;
    Append(&at, PROGRAM_PREFIX);
    Append(&at, "'");
    AppendPath(&at, folder, length);
    AppendPath(&at, name, strlen(name));
    Append(&at, "' is dated ");
    Append(&at, iso);
    Append(&at, ", in the future");
    Append(&at, LINE_END);
    WriteWholeLine(STD_ERROR_HANDLE, line, at);
}
