// The program's one file and path layer: whole-file reads and writes with the sharing
// rules the program relies on, appends and piecewise reads, sizes, copies, deletes,
// folders, the parts of a path, and the program's own path.
// Implemented per platform: FileIO_posix.cpp on the host, FileIO_win32.cpp on Windows;
// FileIO.cpp holds what is the same on both.
// Tests: tests/base/FileIOTest.cpp, tests/base/FileIOTest_win32.cpp
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vm {

// ---- whole files, by ANSI name ----

// All bytes of the file; others may read it meanwhile but not write it.
// Throws EFOpenError "Cannot open file "%s". %s".
std::string ReadFileDenyWrite(const std::string& path);

enum class TExclusiveRead { Read, Missing, Failed };
// All bytes of the file, opened for reading and writing without sharing. Failed when
// another program holds it (or it cannot be read); Missing when it does not exist.
// The file is closed again on return, so that a swap that follows finds it free.
TExclusiveRead ReadFileExclusive(const std::string& path, std::string& bytes);

// Creates the file or truncates it, then writes `bytes`; nobody else may open it meanwhile.
// Throws EFCreateError "Cannot create file "%s". %s".
void WriteFileCreate(const std::string& path, const std::string& bytes);

// Replaces the file's content in one step: the bytes go to a temporary file in the same
// folder, which is flushed and then takes the file's place. On any failure the original
// is left as it was, the temporary file is removed, and EFCreateError names `path`.
void ReplaceFileContents(const std::string& path, const std::string& bytes);

// Appends bytes, creating the file when needed; others may read it meanwhile. False on failure.
bool AppendToFile(const std::string& path, const std::string& bytes);

// True when a file, not a folder, exists at `path`.
bool FileExists(const std::string& path);
// The size of a file, or nothing when there is no file at `path`.
std::optional<std::uint64_t> FileSizeOf(const std::string& path);
// Copies `from` over `to`, as a writable file; false (and nothing left at `to`) on failure.
bool CopyFileTo(const std::string& from, const std::string& to);
// Deletes the file; a missing one is no error. False when the file stays.
bool RemoveFile(const std::string& path);
// The same after clearing the read-only attribute, which would keep the file.
bool RemoveFileForce(const std::string& path);

// A file read front to back in pieces; others may go on writing it meanwhile, as the
// program may still append to its report file while a copy of it is sent.
class TPieceReader {
public:
  explicit TPieceReader(const std::string& path);
  TPieceReader(const TPieceReader&) = delete;
  TPieceReader& operator=(const TPieceReader&) = delete;
  ~TPieceReader();
  bool Open() const { return FHandle != kNone; }
  // Bytes read into `buffer` (0 at the end), or -1 on an error.
  long Read(char* buffer, long size);

private:
  static constexpr std::intptr_t kNone = -1;
  std::intptr_t FHandle = kNone;
};

// ---- folders and the parts of a path ----

// Creates the folder when missing; true when it exists afterwards.
bool CreateFolder(const std::string& path);
// Creates every missing folder on the way to the file `path`; failures are left to the open.
void CreateFoldersFor(const std::string& path);
// The folder part of a path with its trailing separator (empty without one), and the part
// after it. Both separators count, since the host tests hand in Windows-style names too.
std::string FolderOf(std::string_view path);
std::u8string FolderOf(std::u8string_view path);
std::string FileNameOf(std::string_view path);

// ---- the program and its modules ----

// The full path of a loaded module (an HMODULE; nullptr: the program file), asked of the
// system now; empty when it cannot say. The host knows only the program.
std::string ModulePath(const void* module);
// The program file's path. NoteProgramPath, called at start, keeps it in plain static
// bytes; from then on ProgramPath only reads them. A crash reporter relies on that: after
// a fault the loader, which knows the name, may be held by a blocked thread.
void NoteProgramPath();
std::string ProgramPath();

// ---- files by UTF-8 name ----

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

// ---- errors ----

// The system's description of the last error and of an error code.
unsigned long LastErrorCode();
std::string SysErrorMessage(unsigned long code);

std::string OpenErrorText(const std::string& path, unsigned long code);
std::string CreateErrorText(const std::string& path, unsigned long code);
std::string TooLargeErrorText(const std::string& path, size_t maxBytes);

}  // namespace vm
