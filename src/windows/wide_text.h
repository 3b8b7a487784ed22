// UTF-8 (inside the program) to and from UTF-16 (the system's wide calls), exactly: an
// unpaired surrogate becomes the three bytes its code would take and comes back as it was.
#pragma once

#include <cstddef>

constexpr size_t TEXT_DOES_NOT_FIT = static_cast<size_t>(-1);

// Writes the UTF-16 form of `length` bytes of `text` to `into` and a NUL; returns the units
// written without the NUL, or TEXT_DOES_NOT_FIT when `room` (NUL included) is too small.
// A byte that begins no UTF-8 sequence becomes U+FFFD.
size_t WideFromUtf8(const char* text, size_t length, wchar_t* into, size_t room);

// Writes the UTF-8 form of `length` units of `text` to `into` and a NUL; returns the bytes
// written without the NUL, or TEXT_DOES_NOT_FIT when `room` (NUL included) is too small.
// Each unit takes at most three bytes.
size_t Utf8FromWide(const wchar_t* text, size_t length, char* into, size_t room);

// The same, into a new buffer for free(); null when memory cannot be had.
char* NewUtf8FromWide(const wchar_t* text, size_t length);
wchar_t* NewWideFromUtf8(const char* text);
