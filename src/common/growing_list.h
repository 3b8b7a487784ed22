// A list that grows by realloc, for records that are copied as bytes: what the program
// keeps in numbers it cannot know beforehand, without the standard containers, whose
// failures throw (and whose code would weigh more than the 32-bit program itself).
#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>

template <typename T> struct GrowingList {
    T* items;
    size_t count;
    size_t capacity;
};

// Adds `item` at the end; false, the list unchanged, when memory cannot be had.
template <typename T> bool Append(GrowingList<T>* list, const T& item)
{
    if (list->count == list->capacity) {
        size_t capacity = list->capacity ? 2 * list->capacity : 16;
        auto grown = static_cast<T*>(realloc(list->items, capacity * sizeof(T)));
        if (!grown)
            return false;
        list->items = grown;
        list->capacity = capacity;
    }
    list->items[list->count++] = item;
    return true;
}

// Adds `count` items at the end, as Append does.
template <typename T> bool AppendAll(GrowingList<T>* list, const T* items, size_t count)
{
    for (size_t i = 0; i < count; i++)
        if (!Append(list, items[i]))
            return false;
    return true;
}

// Gives back its memory; the list is empty again.
template <typename T> void FreeList(GrowingList<T>* list)
{
    free(list->items);
    *list = GrowingList<T>{nullptr, 0, 0};
}
