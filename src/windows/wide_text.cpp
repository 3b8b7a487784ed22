// Hand-written conversions, so that an unpaired surrogate survives the trip both ways (the
// system's converters replace it with U+FFFD, and such a name could then not be found).
#include "wide_text.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Reads one code point (or lone surrogate) at `text`, `left` bytes long; sets `used`.
uint32_t DecodeOne(const unsigned char* text, size_t left, size_t* used)
{
    unsigned char lead = text[0];
    size_t size = lead < 0x80                   ? 1
                  : lead >= 0xF0 && lead < 0xF5 ? 4
                  : lead >= 0xE0                ? 3
                  : lead >= 0xC2 && lead < 0xE0 ? 2
                                                : 0;
    *used = 1;
    if (size == 0 || size > left)
        return size == 1 ? lead : 0xFFFD;
    if (size == 1)
        return lead;
    uint32_t code = lead & (0x7F >> size);
    for (size_t i = 1; i < size; i++) {
        if (!IsContinuation(text[i]))
            return 0xFFFD;
        code = (code << 6) | (text[i] & 0x3F);
    }
    static const uint32_t LEAST[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < LEAST[size] || code > 0x10FFFF)
        return 0xFFFD; // overlong or beyond Unicode
    *used = size;
    return code;
}

} // namespace

size_t WideFromUtf8(const char* text, size_t length, wchar_t* into, size_t room)
{
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    size_t at = 0, written = 0;
    while (at < length) {
        size_t used;
        uint32_t code = DecodeOne(bytes + at, length - at, &used);
        at += used;
        size_t units = code >= 0x10000 ? 2 : 1;
        if (written + units + 1 > room)
            return TEXT_DOES_NOT_FIT;
        if (units == 2) {
            code -= 0x10000;
            into[written++] = static_cast<wchar_t>(0xD800 | (code >> 10));
            into[written++] = static_cast<wchar_t>(0xDC00 | (code & 0x3FF));
        } else {
            into[written++] = static_cast<wchar_t>(code);
        }
    }
    if (room == 0)
        return TEXT_DOES_NOT_FIT;
    into[written] = L'\0';
    return written;
}

size_t Utf8FromWide(const wchar_t* text, size_t length, char* into, size_t room)
{
    size_t written = 0;
    for (size_t at = 0; at < length; at++) {
        uint32_t code = static_cast<uint16_t>(text[at]);
        if (code >= 0xD800 && code < 0xDC00 && at + 1 < length) {
            uint32_t low = static_cast<uint16_t>(text[at + 1]);
            if (low >= 0xDC00 && low < 0xE000) {
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                at++;
            }
        }
        size_t size = code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
        if (written + size + 1 > room)
            return TEXT_DOES_NOT_FIT;
        if (size == 1) {
            into[written++] = static_cast<char>(code);
            continue;
        }
        static const unsigned char LEAD[] = {0, 0, 0xC0, 0xE0, 0xF0};
        into[written++] = static_cast<char>(LEAD[size] | (code >> (6 * (size - 1))));
        for (size_t i = size - 1; i > 0; i--)
            into[written++] = static_cast<char>(0x80 | ((code >> (6 * (i - 1))) & 0x3F));
    }
    if (room == 0)
        return TEXT_DOES_NOT_FIT;
    into[written] = '\0';
    return written;
}

char* NewUtf8FromWide(const wchar_t* text, size_t length)
{
    size_t room = 3 * length + 1;
    char* into = static_cast<char*>(calloc(room, 1));
    if (into)
        Utf8FromWide(text, length, into, room);
    return into;
}

wchar_t* NewWideFromUtf8(const char* text)
{
    size_t length = strlen(text), room = length + 1; // never more units than bytes
    wchar_t* into = static_cast<wchar_t*>(calloc(room, sizeof(wchar_t)));
    if (into)
        WideFromUtf8(text, length, into, room);
    return into;
}
