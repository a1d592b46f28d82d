// The release while it is downloaded and checked: it never lies on the desktop unverified.
// Tests: tests/e2e/test_update.py.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "about/Streams.h"
#include "base/Exception.h"
#include "base/Handles_win32.h"

namespace vm {

// Raised when the server sends more than the signed size.
class EDownloadRefused : public ExceptionClass<EDownloadRefused, Exception> {
public:
  static constexpr const char* kClassName = "EDownloadRefused";
  using ExceptionClass::ExceptionClass;
};

// A file in the temporary folder that nobody else may open and that the system deletes
// when it is closed, also when the program ends abruptly. It takes at most `limit` bytes.
class TDownloadFile : public TStream {
public:
  explicit TDownloadFile(std::uint64_t limit);
  void Write(const void* data, size_t size) override;
  void SeekStart() override;
  HANDLE Handle() const { return FHandle.get(); }
  // Copies the bytes to `target`, created anew (replacing a file of that name); a copy that
  // fails half-way is deleted. Throws EFCreateError or EStreamError.
  void CopyTo(const std::string& target);

private:
  FileHandle FHandle;
  std::uint64_t FLimit;
  std::uint64_t FWritten = 0;
};

}  // namespace vm
