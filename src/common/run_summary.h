// The box that reports how many folders the latest walk set out of how many it visited.
#pragma once

// Owned by the main window when there is one. Callers skip it when silent.
void ShowRunSummary();

// The summary's first line ("Folder dates changed: N out of M") on standard output, where
// that is redirected; for the automatic runs of the Windows programs, whose box a script
// cannot read.
void WriteSummaryLine();
