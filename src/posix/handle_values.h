// The ranges that keep the layer's two kinds of handle apart.
#pragma once

#include <cstdint>

constexpr uintptr_t FILE_HANDLE_BASE = 0x100;
constexpr uintptr_t FIND_HANDLE_BASE = 0x10000;
