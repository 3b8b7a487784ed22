// Lines of the program's own on its standard output and error, where the platform lets
// them go there, each written whole.
#pragma once

#include <windows.h>

#include <cstddef>

constexpr char PROGRAM_PREFIX[] = "chronotree: ";

// Told of each folder as the walk starts to list its subfolders (the path ends in a
// separator), and of none (null) before any line is written, so that a progress line on
// the same terminal goes first; null unless a front end follows the walk. Set before
// RunProgram, which leaves it as it is.
extern void (*walkProgress)(const char* folder);

// Writes `length` bytes of `text` to the stream `which` (STD_OUTPUT_HANDLE or
// STD_ERROR_HANDLE) in one write. False when the stream is there to be written and the
// line did not go whole. A Windows program that was not given the stream (no redirection,
// or a console it cannot reach) has nothing to write to, which is no failure; on POSIX a
// closed stream is one.
bool WriteWholeLine(DWORD which, const char* text, size_t length);

// Writes "chronotree: ", `text` and a line end to standard error.
void WriteErrorLine(const char* text);

// Writes `text` and a line end to standard output.
void WriteOutputLine(const char* text);

// The system's text for `error`, without its line end or final full stop.
void DescribeError(DWORD error, char* text, size_t size);
