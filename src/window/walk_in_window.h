// Keeps the main window alive while a walk runs on its thread: its messages handled every
// few tens of milliseconds, and the label showing how far the walk has come.
#pragma once

#include <windows.h>

// Handles every message waiting for the thread, with the window's keyboard handling.
void HandlePendingMessages();

// Follows the walks from the window from now on, until StopFollowingWalk.
void FollowWalkInWindow();
void StopFollowingWalk();

// "N folders, M set: " and as much of `folder`'s end as fits the label's width.
void ShowWalkProgress(const char* folder);
