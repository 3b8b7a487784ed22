// Explorer writes thumbnail caches and desktop.ini; macOS writes .DS_Store, its custom-icon
// file "Icon\r" and "._" files (resource forks) onto every drive it touches. Synology
// writes @eaDir (thumbnails) and QNAP .@__thumb into every folder, Mac file sharing
// .AppleDouble, and each is full of files newer than the photos beside them.
#include "file_manager_names.h"

namespace {

constexpr const char* MANAGER_FILES[] = {
    "Thumbs.db", "ehthumbs.db", "ehthumbs_vista.db", "desktop.ini", ".DS_Store", "Icon\r",
};

constexpr const char* SYSTEM_FOLDERS[] = {
    "@eaDir",   ".@__thumb",       ".AppleDouble", ".Spotlight-V100",           ".fseventsd",
    ".Trashes", ".TemporaryItems", "$RECYCLE.BIN", "System Volume Information",
};

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool SameName(const char* a, const char* b)
{
    for (; *a && Lower(*a) == Lower(*b); a++, b++) { }
    return Lower(*a) == Lower(*b);
}

} // namespace

bool IsFileManagerFile(const char* name)
{
    if (name[0] == '.' && name[1] == '_')
        return true;
    for (const char* known : MANAGER_FILES) {
        if (SameName(name, known))
            return true;
    }
    return false;
}

bool IsSystemWrittenFolder(const char* name)
{
    for (const char* known : SYSTEM_FOLDERS) {
        if (SameName(name, known))
            return true;
    }
    // .Trash-1000: the bin a Linux desktop keeps on a removable drive, one per user id.
    const char* digits = name;
    for (const char* prefix = ".trash-"; *prefix; prefix++, digits++) {
        if (Lower(*digits) != *prefix)
            return false;
    }
    if (!*digits)
        return false;
    for (; *digits; digits++) {
        if (*digits < '0' || *digits > '9')
            return false;
    }
    return true;
}
