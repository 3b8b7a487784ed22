// Doubling from 64 items keeps the number of moves small whatever the width or depth.
#include "growing_block.h"

#include <cstdlib>

bool GrowBlock(void** block, size_t* capacity, size_t needed, size_t unit)
{
    if (needed <= *capacity)
        return true;
    size_t grown = *capacity ? *capacity : 64;
    while (grown < needed)
        grown *= 2;
    void* moved = realloc(*block, grown * unit);
    if (!moved)
        return false;
    *block = moved;
    *capacity = grown;
    return true;
}
