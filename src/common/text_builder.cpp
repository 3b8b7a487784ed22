// Pieces of text appended one after another, cut at the buffer's end.
#include "text_builder.h"

#include <cstring>

TextBuilder StartText(char* buffer, size_t size)
{
    if (size > 0)
        buffer[0] = '\0';
    return TextBuilder{buffer, size, 0};
}

void AddText(TextBuilder* builder, const char* text, size_t length)
{
    if (builder->size == 0)
        return;
    size_t room = builder->size - 1 - builder->used;
    if (length > room)
        length = room;
    memcpy(builder->text + builder->used, text, length);
    builder->used += length;
    builder->text[builder->used] = '\0';
}

void AddText(TextBuilder* builder, const char* text) { AddText(builder, text, strlen(text)); }

void AddNumber(TextBuilder* builder, int64_t number, int digits)
{
    char reversed[24];
    int count = 0;
    // Negated as unsigned, so that the most negative number has its digits too.
    uint64_t left = number < 0 ? 0 - static_cast<uint64_t>(number) : static_cast<uint64_t>(number);
    do {
        reversed[count++] = static_cast<char>('0' + left % 10);
        left /= 10;
    } while (left > 0 || count < digits);
    if (number < 0)
        AddText(builder, "-", 1);
    while (count > 0)
        AddText(builder, &reversed[--count], 1);
}
