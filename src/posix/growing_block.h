// Blocks of memory that grow by doubling, for the layer's stacks of listings and folders.
#pragma once

#include <cstddef>

// Makes `*block` hold at least `needed` items of `unit` bytes; false (the block as it was)
// when memory cannot be had.
bool GrowBlock(void** block, size_t* capacity, size_t needed, size_t unit);

template <typename Item> bool Grow(Item** block, size_t* capacity, size_t needed)
{
    void* untyped = *block;
    bool grown = GrowBlock(&untyped, capacity, needed, sizeof(Item));
    *block = static_cast<Item*>(untyped);
    return grown;
}
