// Reads a -v list back and sets each folder to the old time it records, when nothing has
// moved its time since.
#include "restore_list.h"

#include "folder_identity.h"
#include "platform_config.h"
#include "program_state.h"
#include "text_builder.h"
#include "walk_report.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr int64_t DAYS_FROM_1601_TO_1970 = 134774;

struct ListEntry {
    ExactTime oldTime;
    ExactTime newTime;
    bool oldKnown;
    char* path;
    bool createdKnown; // a run with --created kept the old creation time as a fourth field
    ExactTime oldCreated;
};

// Reads `digits` decimal digits (exactly, or at least, with `atLeast`) from `at`.
bool ReadNumber(const char** at, const char* end, int digits, bool atLeast, int64_t* value)
{
    int count = 0;
    *value = 0;
    while (*at < end && **at >= '0' && **at <= '9' && (atLeast ? count < 12 : count < digits)) {
        *value = *value * 10 + (**at - '0');
        (*at)++;
        count++;
    }
    return atLeast ? count >= digits : count == digits;
}

bool Expect(const char** at, const char* end, char c)
{
    if (*at >= end || **at != c)
        return false;
    (*at)++;
    return true;
}

// Days from 1970-01-01 to a civil date, in the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day)
{
    year -= month <= 2;
    int64_t era = (year >= 0 ? year : year - 399) / 400;
    int64_t ofEra = year - era * 400;
    int64_t ofYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    return era * 146097 + ofEra * 365 + ofEra / 4 - ofEra / 100 + ofYear - 719468;
}

bool IsLeap(int64_t year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int64_t year, int64_t month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : days[month - 1];
}

// "FILE:LINE: WHY" on standard error, and a failure.
void ReportBadLine(const char* list, size_t number, const char* why)
{
    char text[1200];
    TextBuilder line = StartText(text, sizeof text);
    AddText(&line, "cannot restore from '");
    AddText(&line, list);
    AddText(&line, "': line ");
    AddNumber(&line, static_cast<int64_t>(number));
    AddText(&line, why);
    WriteErrorLine(text);
    programState.failureCount++;
}

// One line of the list, cut in place: "OLD\tNEW\tPATH". False when it is not one.
bool ParseEntry(char* line, ListEntry* entry)
{
    char* firstTab = strchr(line, '\t');
    char* secondTab = firstTab ? strchr(firstTab + 1, '\t') : nullptr;
    if (!secondTab || !secondTab[1])
        return false;
    entry->oldKnown = strncmp(line, "unknown\t", 8) != 0;
    if (entry->oldKnown &&
        !ParseIsoTime(line, static_cast<size_t>(firstTab - line), &entry->oldTime))
        return false;
    if (!ParseIsoTime(firstTab + 1, static_cast<size_t>(secondTab - firstTab - 1), &entry->newTime))
        return false;
    entry->path = secondTab + 1;
    // A tab inside a path is escaped on POSIX and no Windows name holds one: a third tab
    // begins the old creation time.
    char* thirdTab = strchr(entry->path, '\t');
    entry->createdKnown = thirdTab != nullptr;
    if (thirdTab) {
        *thirdTab = '\0';
        if (!ParseIsoTime(thirdTab + 1, strlen(thirdTab + 1), &entry->oldCreated))
            return false;
    }
    return *entry->path && UnescapePath(entry->path);
}

bool IsSummary(const char* line) { return strncmp(line, "Folder dates ", 13) == 0; }

// Cuts the list into its entries; a count of -1 after a line that cannot be read.
ListEntry* ParseList(const char* list, char* text, size_t length, size_t* count)
{
    size_t lines = 1;
    for (size_t i = 0; i < length; i++)
        lines += text[i] == '\n';
    ListEntry* entries = static_cast<ListEntry*>(calloc(lines, sizeof(ListEntry)));
    if (!entries) {
        ReportBadLine(list, 1, ": no memory to read the list; nothing was restored");
        return nullptr;
    }
    *count = 0;
    char* at = text;
    for (size_t number = 1; at < text + length; number++) {
        char* end = static_cast<char*>(memchr(at, '\n', static_cast<size_t>(text + length - at)));
        char* next = end ? end + 1 : text + length;
        if (!end)
            end = text + length;
        if (end > at && end[-1] == '\r') // a list kept through Windows' line ends
            end--;
        *end = '\0';
        if (*at && !IsSummary(at) && !ParseEntry(at, &entries[(*count)++])) {
            ReportBadLine(list, number, " is not a line of a -v list; nothing was restored");
            free(entries);
            return nullptr;
        }
        at = next;
    }
    return entries;
}

void RestoreEntry(const ListEntry& entry)
{
    if (!entry.oldKnown) {
        ReportFolderProblem("cannot restore", entry.path, strlen(entry.path), nullptr, 0,
                            "the list does not know its old time");
        CountFailure();
        return;
    }
    ExactTime present, created;
    if (!ReadExactLastWrite(entry.path, &present, entry.createdKnown ? &created : nullptr)) {
        ReportFolderProblem("cannot restore", entry.path, strlen(entry.path), nullptr,
                            GetLastError());
        CountFailure();
        return;
    }
    // Already at its old time (restored before, or never set because its write failed):
    // nothing to do, and nothing wrong.
    if (SameExactTime(present, entry.oldTime))
        return;
    if (!SameExactTime(present, entry.newTime)) {
        ReportFolderProblem("cannot restore", entry.path, strlen(entry.path), nullptr, 0,
                            "its time has changed since the list was written; left alone");
        CountFailure();
        return;
    }
    if (!ReportFolderChange(&present, entry.oldTime, entry.path,
                            entry.createdKnown ? &created : nullptr)) {
        ReportListLost(GetLastError());
        return;
    }
    if (programState.dryRun) {
        programState.changedCount++;
        return;
    }
    DWORD error = WriteExactLastWrite(entry.path, entry.oldTime,
                                      entry.createdKnown ? &entry.oldCreated : nullptr);
    if (error) {
        ReportFolderProblem("cannot set", entry.path, strlen(entry.path), nullptr, error);
        CountFailure();
        return;
    }
    programState.changedCount++;
}

} // namespace

bool ParseIsoTime(const char* text, size_t length, ExactTime* time)
{
    const char* at = text;
    const char* end = text + length;
    bool negative = at < end && *at == '-';
    at += negative;
    int64_t year, month, day, hour, minute, second;
    if (!ReadNumber(&at, end, 4, true, &year) || !Expect(&at, end, '-') ||
        !ReadNumber(&at, end, 2, false, &month) || !Expect(&at, end, '-') ||
        !ReadNumber(&at, end, 2, false, &day) || !Expect(&at, end, 'T') ||
        !ReadNumber(&at, end, 2, false, &hour) || !Expect(&at, end, ':') ||
        !ReadNumber(&at, end, 2, false, &minute) || !Expect(&at, end, ':') ||
        !ReadNumber(&at, end, 2, false, &second))
        return false;
    year = negative ? -year : year;
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 59)
        return false;
    uint32_t nanoseconds = 0;
    if (at < end && *at == '.') {
        at++;
        int digits = 0;
        for (; at < end && *at >= '0' && *at <= '9'; at++, digits++) {
            if (digits >= 9)
                return false;
            nanoseconds = nanoseconds * 10 + static_cast<uint32_t>(*at - '0');
        }
        if (digits == 0)
            return false;
        for (; digits < 9; digits++)
            nanoseconds *= 10;
    }
    if (!Expect(&at, end, 'Z') || at != end)
        return false;
    int64_t days = DaysFromCivil(year, month, day) + DAYS_FROM_1601_TO_1970;
    *time = ExactTime{days * 86400 + hour * 3600 + minute * 60 + second, nanoseconds};
    return true;
}

bool UnescapePath(char* path)
{
    if (!ESCAPES_PATHS)
        return true;
    char* to = path;
    for (const char* at = path; *at; at++) {
        if (*at != '\\') {
            *to++ = *at;
            continue;
        }
        at++;
        const char* hex = "0123456789ABCDEF";
        if (*at == '\\' || *at == 't' || *at == 'n' || *at == 'r') {
            *to++ = *at == 't' ? '\t' : *at == 'n' ? '\n' : *at == 'r' ? '\r' : '\\';
        } else if (*at == 'x' && at[1] && at[2] && strchr(hex, at[1]) && strchr(hex, at[2])) {
            *to++ = static_cast<char>((strchr(hex, at[1]) - hex) * 16 + (strchr(hex, at[2]) - hex));
            at += 2;
        } else {
            return false;
        }
    }
    *to = '\0';
    return true;
}

namespace {

void StartRestore(const char* name)
{
    programState.changedCount = 0;
    programState.visitedCount = 0;
    programState.latestFailures = 0;
    programState.topUnlisted = 0;
    programState.latestTop = name;
    programState.latestWalk = programState.dryRun ? WALK_RESTORE_DRY : WALK_RESTORE;
}

void RestoreFrom(const char* name, char* text, size_t length)
{
    size_t count = 0;
    ListEntry* entries = ParseList(name, text, length, &count);
    if (entries) {
        programState.visitedCount = static_cast<int32_t>(count);
        if (count > 0) // the threads suit where the first folder restored lies
            UseFileThreads(entries[count - 1].path, programState.jobs);
        for (size_t i = count; i > 0 && !programState.listLost; i--) {
            RestoreEntry(entries[i - 1]);
            ReportLateWriteFailures(TAKE_DONE);
        }
        ReportLateWriteFailures(TAKE_AT_END);
        free(entries);
    }
}

} // namespace

void RunRestore(const char* listPath)
{
    StartRestore(listPath);
    size_t length = 0;
    char* text = ReadWholeFile(listPath, &length);
    if (!text) {
        DWORD error = GetLastError();
        ReportFolderProblem("cannot read", listPath, strlen(listPath), nullptr, error);
        CountTopFailure(error);
        return;
    }
    RestoreFrom(listPath, text, length);
    free(text);
}

void RunRestoreFromText(const char* name, char* text, size_t length)
{
    StartRestore(name);
    RestoreFrom(name, text, length);
}
