// Writes each line in one call, so that lines from several runs into one file never mix.
#include "output_lines.h"

#include "platform_config.h"
#include "text_builder.h"

#include <cstdlib>
#include <cstring>

void (*walkProgress)(const char* folder);

namespace {

// `first`, `second` and a line end, written whole.
void WriteJoined(DWORD which, const char* first, const char* second)
{
    size_t size = strlen(first) + strlen(second) + sizeof LINE_END;
    char* line = static_cast<char*>(malloc(size));
    if (!line)
        return;
    TextBuilder text = StartText(line, size);
    AddText(&text, first);
    AddText(&text, second);
    AddText(&text, LINE_END);
    WriteWholeLine(which, line, text.used);
    free(line);
}

} // namespace

bool WriteWholeLine(DWORD which, const char* text, size_t length)
{
    if (walkProgress)
        walkProgress(nullptr); // a progress line on the same terminal goes first
    HANDLE stream = GetStdHandle(which);
    if (!stream || stream == INVALID_HANDLE_VALUE)
        return !REPORTS_TO_TERMINALS;
    DWORD type = GetFileType(stream);
    if (type == FILE_TYPE_UNKNOWN)
        return !REPORTS_TO_TERMINALS;
    if (type == FILE_TYPE_CHAR && !REPORTS_TO_TERMINALS)
        return true;
    DWORD written = 0;
    return WriteFile(stream, text, static_cast<DWORD>(length), &written, nullptr) &&
           written == length;
}

void WriteErrorLine(const char* text) { WriteJoined(STD_ERROR_HANDLE, PROGRAM_PREFIX, text); }

void WriteOutputLine(const char* text) { WriteJoined(STD_OUTPUT_HANDLE, "", text); }

void DescribeError(DWORD error, char* text, size_t size)
{
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, text, static_cast<DWORD>(size), nullptr);
    if (length == 0) {
        TextBuilder code = StartText(text, size);
        AddText(&code, "error ");
        AddNumber(&code, error);
        length = static_cast<DWORD>(code.used);
    }
    // Windows ends its texts with a full stop and a line end.
    while (length > 0 && strchr(" .\r\n", text[length - 1]))
        length--;
    text[length] = '\0';
}
