// Builds the program's few texts from pieces, with no printf: on 32-bit Windows, MinGW's
// printf alone would take a quarter of the program.
#pragma once

#include <cstddef>
#include <cstdint>

// A text being built in a buffer of `size` bytes; it stays NUL-terminated, and what does not
// fit is cut.
struct TextBuilder {
    char* text;
    size_t size;
    size_t used;
};

TextBuilder StartText(char* buffer, size_t size);

void AddText(TextBuilder* builder, const char* text);
void AddText(TextBuilder* builder, const char* text, size_t length);

// The number in decimal, with at least `digits` digits (zeros before it), a '-' before a
// negative one.
void AddNumber(TextBuilder* builder, int64_t number, int digits = 1);
