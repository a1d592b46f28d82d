// Whole-file reads and writes with the sharing rules the program relies on.
// Implemented per platform: FileIO_posix.cpp on the host, FileIO_win32.cpp on Windows.
#pragma once

#include <string>

namespace vm {

// All bytes of the file; others may read it meanwhile but not write it.
// Throws EFOpenError "Cannot open file "%s". %s".
std::string ReadFileDenyWrite(const std::string& path);

// Creates the file or truncates it, then writes `bytes`; nobody else may open it meanwhile.
// Throws EFCreateError "Cannot create file "%s". %s".
void WriteFileCreate(const std::string& path, const std::string& bytes);

// Replaces the file's content in one step: the bytes go to a temporary file in the same
// folder, which is flushed and then takes the file's place. On any failure the original
// is left as it was, the temporary file is removed, and EFCreateError names `path`.
void ReplaceFileContents(const std::string& path, const std::string& bytes);

// True when a file, not a folder, exists at `path`.
bool FileExists(const std::string& path);

// The system's description of the last error and of an error code.
unsigned long LastErrorCode();
std::string SysErrorMessage(unsigned long code);

std::string OpenErrorText(const std::string& path, unsigned long code);
std::string CreateErrorText(const std::string& path, unsigned long code);

}  // namespace vm
