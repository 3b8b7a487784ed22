// Scratch trees on POSIX: mkdir, open and utimensat, and stat to read times back.
#include "scratch.h"

#include "file_time.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const char SCRATCH_SEPARATOR = '/';

std::string MakeScratchFolder()
{
    char name[] = "/tmp/chronotree-conformance-XXXXXX";
    return mkdtemp(name) ? name : "";
}

void MakeFolder(const std::string& path) { mkdir(path.c_str(), 0755); }

void MakeFile(const std::string& path, FILETIME lastWrite)
{
    close(open(path.c_str(), O_CREAT | O_WRONLY, 0644));
    SetTimes(path, lastWrite, lastWrite);
}

void SetTimes(const std::string& path, FILETIME lastWrite, FILETIME lastAccess)
{
    timespec times[2] = {TimespecFromFileTime(lastAccess), TimespecFromFileTime(lastWrite)};
    utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

bool ReadTimes(const std::string& path, FILETIME* lastWrite, FILETIME* lastAccess)
{
    struct stat found;
    if (lstat(path.c_str(), &found) != 0)
        return false;
    *lastWrite = FileTimeFromTimespec(found.st_mtim);
    *lastAccess = FileTimeFromTimespec(found.st_atim);
    return true;
}

bool RenameEntry(const std::string& from, const std::string& to)
{
    return rename(from.c_str(), to.c_str()) == 0;
}

bool RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0; }
