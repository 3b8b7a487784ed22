// The folders the layer holds open: one stack of descriptors along the path of the latest
// listing, so that a call opens only what lies below the deepest folder it already holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

// The descriptor of the folder named by the first `length` bytes of `path` (separators at
// its end ignored), opened relative to the deepest held folder on that path; the folders
// opened on the way are held too, and held folders off that path are closed. `serial`
// names the held folder: the same serial means the same spelling of the same folder.
// `atStart` is set when nothing has read the descriptor since it was opened.
// Returns -1 when a folder on the way cannot be opened, or was let go of and no longer
// is the folder the layer held (so nothing below a moved or replaced folder is reached).
int HoldFolder(const char* path, size_t length, uint64_t* serial, bool* atStart);

// Holds `folder`, a descriptor a read-ahead thread opened after `mark`, as the folder named
// by `path` (separators at its end ignored), when that path is one name below a held
// folder that has not changed since `mark` (so the name still leads to the same folder).
// Returns the descriptor and its serial; otherwise -1, with `folder` closed.
int AdoptFolder(const char* path, size_t length, int folder, const timespec& mark,
                uint64_t* serial);

// The serial of the folder above the deepest held folder (0 when there is none): right
// after HoldFolder, the parent of the folder it gave.
uint64_t HeldParentSerial();

// For a call on the entry `path` (NUL-terminated, no separator at its end): when it names
// a held folder, that folder's descriptor and `name` = null; otherwise the descriptor of
// its parent folder (held as HoldFolder holds it; AT_FDCWD for a name without separator)
// and `name` pointing at its last component. A path whose last name is "." or ".." (as
// "dir/../..") is left to the system to resolve: the deepest held folder it begins with (or
// AT_FDCWD) and `name` pointing at the rest, at most PATH_MAX - 1 bytes; nothing new is held
// for it. Returns -1 when the folder cannot be had.
int HoldEntry(const char* path, const char** name);

// Sets aside what the read-ahead and write-behind threads may hold of the descriptor
// budget, once their number is set.
void ReserveForWorkers();

// Listings and file handles open and close through these: while none is open, a held
// folder is not trusted to be the one its path names, and is checked before it is used.
void NoteUseBegins();
void NoteUseEnds();

// A descriptor of the caller's own (a wide listing's) counts against the budget: one held
// folder is let go of when needed. Returns a duplicate of `folder`, or -1.
int DuplicateForListing(int folder);
void CloseListingDescriptor(int descriptor);
