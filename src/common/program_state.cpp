// Storage for the program-wide state record.
#include "program_state.h"

#include <cstring>

ProgramState programState;

void ResetProgramState() { memset(&programState, 0, sizeof programState); }
