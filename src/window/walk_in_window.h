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

// Hands one message of the thread on, with the dialog keyboard handling for the main
// window's controls: Tab and Shift+Tab move between them, Enter presses the focused
// button or else the default one.
void DispatchWindowMessage(MSG* message);

// Enables or greys the four controls.
void EnableControls(bool enable);

// With "Keep up to date": keeps `folder`, just walked, right as it changes, the window's
// messages handled while it waits and the label telling what it does and when it last set
// something, until Escape or closing the window stops it.
void KeepFolderInWindow(const char* folder);
