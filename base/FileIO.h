// Whole-file reads and writes with the sharing rules the program relies on.
// Implemented per platform: FileIO_posix.cpp on the host, FileIO_win32.cpp on Windows.
#pragma once

#include <cstddef>
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

// The same for a file whose name is given in UTF-8. A folder name outside the system's ANSI
// code page (a user's profile folder, say) has no 8-bit spelling there, so these reach the
// file through the system's Unicode functions. Errors name the file in the ANSI code page.
// `maxBytes` refuses a larger file with EFOpenError before anything is loaded.
std::string ReadFileDenyWrite(const std::u8string& path, size_t maxBytes = size_t(-1));
// A read-only file is refused (EFCreateError, access denied); the file's other attributes,
// hidden among them, are kept across the swap.
void ReplaceFileContents(const std::u8string& path, const std::string& bytes);
bool FileExists(const std::u8string& path);
bool FileIsReadOnly(const std::u8string& path);
// True while another handle holds the file without letting others delete it: the way a
// program keeps a lock file of its own. A file that nobody holds, or none at all, is false.
// Opening for delete access with full sharing tests this without getting in the holder's way.
bool FileHeldByAnother(const std::u8string& path);
// Removes what a killed ReplaceFileContents of `path` left beside it: its temporary files,
// and its backup copy once the file itself is back in place. Others' files are left alone.
void RemoveReplaceLeftovers(const std::u8string& path);
// The name as messages show it: in the ANSI code page, "?" for what it cannot spell.
std::string DisplayPath(const std::u8string& path);

// The system's description of the last error and of an error code.
unsigned long LastErrorCode();
std::string SysErrorMessage(unsigned long code);

std::string OpenErrorText(const std::string& path, unsigned long code);
std::string CreateErrorText(const std::string& path, unsigned long code);
std::string TooLargeErrorText(const std::string& path, size_t maxBytes);

}  // namespace vm
