// The program's own entry, called by the platform's start-up.
#pragma once

#include <windows.h>

// Splits the writable command tail and runs; returns the exit status.
int RunProgram(HINSTANCE instance, char* commandTail, int showState);

// The same from tokens already split (slots[1] to slots[count - 1]), as a POSIX shell
// hands them over.
int RunProgramWithTokens(HINSTANCE instance, char** slots, int count, int showState);
