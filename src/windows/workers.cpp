// Worker threads, each with a small stack.
#define CHRONOTREE_SYSTEM_NAMES
#include "workers.h"

bool StartWorker(LPTHREAD_START_ROUTINE run)
{
    HANDLE thread =
        CreateThread(nullptr, 256 * 1024, run, nullptr, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread)
        CloseHandle(thread);
    return thread != nullptr;
}
