// Walks that go on until stopped: with --every, the folders are walked again every so many
// seconds, writing only the dates that differ, so that a tree stays right.
#pragma once

#include <windows.h>

#include <cstdint>

// Walks `folders` (`count` of them, already walked once) again every
// programState.everySeconds, until Ctrl-C, Ctrl-Break, SIGTERM or the console closing asks
// the program to stop; a round under way is finished first. Each round ends in a line with
// the local time and its counts on standard output (not with -s or -v: -v lists each
// folder changed, as the first walk does). Does nothing without --every.
void RunRounds(const char* const* folders, int count);

// Hands Ctrl-C, Ctrl-Break, SIGTERM and the console closing to an event, which it returns;
// null when the platform cannot (said on standard error, with `need`, and counted).
HANDLE ListenForStop(const char* need);
void StopListening();

// "2026-12-10 23:59:49 Folder dates changed: 3 out of 120" on standard output, unless -s
// or -v.
void ReportRound(int32_t changed, int32_t visited);
