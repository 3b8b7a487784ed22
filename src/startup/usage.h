// What each platform shows for the usage and the version.
#pragma once

// The usage: on Linux on standard output; on Windows in a box, unless silent.
void ShowUsage();

// "chronotree 0.01", shown as the usage is.
void ShowVersion();
