// Events over eventfd, and SIGINT and SIGTERM turned into a console's stop events: a signal
// handler may only write to a descriptor, and the walk's thread waits on it with poll.
#include "handle_values.h"

#include <windows.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <ctime>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

PHANDLER_ROUTINE consoleHandler;

void OnSignal(int signal) { consoleHandler(signal == SIGINT ? CTRL_C_EVENT : CTRL_CLOSE_EVENT); }

} // namespace

BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add)
{
    consoleHandler = add ? handler : nullptr;
    struct sigaction action = {};
    action.sa_handler = add ? OnSignal : SIG_DFL;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART; // the walk's calls go on as if nothing had happened
    return sigaction(SIGINT, &action, nullptr) == 0 && sigaction(SIGTERM, &action, nullptr) == 0;
}

HANDLE CreateEventA(SECURITY_ATTRIBUTES*, BOOL manualReset, BOOL initialState, LPCSTR name)
{
    if (!manualReset || name)
        return nullptr;
    int descriptor = eventfd(initialState ? 1 : 0, EFD_CLOEXEC | EFD_NONBLOCK);
    return descriptor < 0
               ? nullptr
               : reinterpret_cast<HANDLE>(EVENT_HANDLE_BASE + static_cast<uintptr_t>(descriptor));
}

BOOL SetEvent(HANDLE event)
{
    int descriptor = EventDescriptorOf(event);
    uint64_t one = 1;
    int saved = errno; // a signal handler leaves errno as it found it
    bool set = descriptor >= 0 && write(descriptor, &one, sizeof one) == sizeof one;
    errno = saved;
    return set;
}

DWORD WaitForSingleObject(HANDLE event, DWORD milliseconds)
{
    int descriptor = EventDescriptorOf(event);
    if (descriptor < 0)
        return WAIT_FAILED;
    // The time left is counted from a clock that only goes forward, so that a signal that
    // interrupts the wait does not make it start again.
    timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        int64_t spent =
            (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
        int timeout = milliseconds == INFINITE ? -1
                      : spent >= static_cast<int64_t>(milliseconds)
                          ? 0
                          : static_cast<int>(milliseconds - spent);
        pollfd wanted = {descriptor, POLLIN, 0};
        int ready = poll(&wanted, 1, timeout);
        if (ready > 0)
            return WAIT_OBJECT_0; // it stays set: nothing reads the count
        if (ready == 0)
            return WAIT_TIMEOUT;
        if (errno != EINTR)
            return WAIT_FAILED;
    }
}

void GetLocalTime(SYSTEMTIME* now)
{
    timespec clock;
    clock_gettime(CLOCK_REALTIME, &clock);
    tm local = {};
    localtime_r(&clock.tv_sec, &local);
    *now = SYSTEMTIME{static_cast<uint16_t>(local.tm_year + 1900),
                      static_cast<uint16_t>(local.tm_mon + 1),
                      static_cast<uint16_t>(local.tm_wday),
                      static_cast<uint16_t>(local.tm_mday),
                      static_cast<uint16_t>(local.tm_hour),
                      static_cast<uint16_t>(local.tm_min),
                      static_cast<uint16_t>(local.tm_sec),
                      static_cast<uint16_t>(clock.tv_nsec / 1000000)};
}
