// The ranges that keep the layer's kinds of handle apart.
#pragma once

#include <cstdint>

constexpr uintptr_t FILE_HANDLE_BASE = 0x100;
constexpr uintptr_t FIND_HANDLE_BASE = 0x10000;
constexpr uintptr_t STD_HANDLE_BASE = 0x10; // plus the descriptor: 1 or 2
constexpr uintptr_t EVENT_HANDLE_BASE = 0x20000000; // plus the event's descriptor

// The descriptor of an event handle (CreateEventA), or -1 for any other value.
inline int EventDescriptorOf(const void* event)
{
    uintptr_t value = reinterpret_cast<uintptr_t>(event);
    return value >= EVENT_HANDLE_BASE && value < EVENT_HANDLE_BASE + 0x10000000
               ? static_cast<int>(value - EVENT_HANDLE_BASE)
               : -1;
}
