// --watch: once the folders are walked, the tree is kept right as it changes. The waiting
// and the system's notifications are the platform's (WaitForFolderChanges); what a change
// means, what is listed again and what is written is decided here, on the walk's thread,
// in the order the changes came.
#pragma once

#include <windows.h>

#include <cstdint>

// Asked before each walk: the first time makes the watch and has the walks that follow
// record what they enter, each folder watched before it is listed. Does nothing without
// --watch.
void StartWatch();

// Watches the folders walked (`folders`, `count` of them) until Ctrl-C, Ctrl-Break,
// SIGTERM or the console closing (or, in a window, until programState.stopRequested),
// setting after each change, once the tree has been quiet for --settle seconds, the
// folders it happened in and those above them, writing only what differs. A round ends
// with a line (time and counts) on standard output, unless -s or -v. When the system
// cannot watch every folder, says why and walks the whole tree every --every seconds
// (600 unless given) instead; when it lost changes, says so and walks the whole tree
// again. Does nothing without --watch.
void RunWatch(const char* const* folders, int count);

// Told at the end of each round of how many folders it set; null unless a window shows it.
extern void (*watchRoundEnded)(int32_t changed);
