// Explorer writes thumbnail caches and desktop.ini; macOS writes .DS_Store, its custom-icon
// file "Icon\r" and "._" files (resource forks) onto every drive it touches.
#include "file_manager_names.h"

namespace {

constexpr const char* MANAGER_FILES[] = {
    "Thumbs.db", "ehthumbs.db", "ehthumbs_vista.db", "desktop.ini", ".DS_Store", "Icon\r",
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
