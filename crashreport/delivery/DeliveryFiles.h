// The file work of a send: sizes, piecewise reads of attachments, the copy of the report
// file and its removal. DeliveryFiles_posix.cpp on the host, DeliveryFiles_win32.cpp on
// Windows (ANSI paths, share modes that let the program keep writing its report file).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vm {

// The size of a file, or nothing when there is no file at `path`.
std::optional<std::uint64_t> FileSizeOf(const std::string& path);
// Copies `from` over `to`; false (and nothing left at `to`) on failure.
bool CopyFileTo(const std::string& from, const std::string& to);
// Clears the read-only attribute, then deletes. False when the file stays.
bool DeleteFileForce(const std::string& path);
bool DeleteFilePlain(const std::string& path);
// Appends bytes, creating the file when needed.
bool AppendToFile(const std::string& path, const std::string& bytes);
// The folder part of a path with its trailing separator, and the part after it.
std::string PathFolder(const std::string& path);
std::string PathFileName(const std::string& path);
// Creates the folder when missing; true when it exists afterwards.
bool EnsureFolder(const std::string& path);

// A file read front to back in pieces.
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

}  // namespace vm
