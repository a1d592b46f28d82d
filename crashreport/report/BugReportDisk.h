// The two file operations the bug-report file needs beyond base/FileIO: reading it while
// nobody else may open it, and creating its folders. BugReportDisk_win32.cpp, BugReportDisk_posix.cpp.
#pragma once

#include <string>

namespace vm {

enum class TExclusiveRead { Read, Missing, Failed };
// All bytes of the file, opened for reading and writing without sharing. Failed when
// another program holds it (or it cannot be read); Missing when it does not exist.
TExclusiveRead ReadFileExclusive(const std::string& path, std::string& bytes);
// Creates every missing folder on the way to the file `path`; failures are left to the open.
void CreateFoldersFor(const std::string& path);
// Deletes the file; a missing one is no error.
void RemoveFile(const std::string& path);

}  // namespace vm
