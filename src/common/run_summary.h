// The box that reports how many folders the latest walk set out of how many it visited.
#pragma once

// Owned by the main window when there is one. Callers skip it when silent.
void ShowRunSummary();
