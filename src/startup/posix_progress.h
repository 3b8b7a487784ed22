// The Linux command's progress line: on a terminal, what the walk has done so far.
#pragma once

// Follows every walk from now on when standard error is a terminal.
void FollowWalksOnTerminal();
