// Scratch trees for the file-call tests, made with each platform's own calls so that the
// calls under test are checked against something independent of them.
#pragma once

#include <windows.h>

#include <string>

extern const char SCRATCH_SEPARATOR;

// A new empty folder; its path has no trailing separator.
std::string MakeScratchFolder();
void MakeFolder(const std::string& path);
void MakeFile(const std::string& path, FILETIME lastWrite);
void SetTimes(const std::string& path, FILETIME lastWrite, FILETIME lastAccess);
bool ReadTimes(const std::string& path, FILETIME* lastWrite, FILETIME* lastAccess);
bool RenameEntry(const std::string& from, const std::string& to);
bool RemoveFile(const std::string& path);
