#include "about/ReleaseDownload_win32.h"

#include <vector>

#include "base/FileIO.h"

namespace vm {

namespace {

bool WriteAll(HANDLE file, const void* data, size_t size) {
  DWORD written = 0;
  return WriteFile(file, data, DWORD(size), &written, nullptr) && written == size;
}

}  // namespace

TDownloadFile::TDownloadFile(std::uint64_t limit) : FLimit(limit) {
  char folder[MAX_PATH + 1] = "", path[MAX_PATH + 1] = "";
  if (!GetTempPathA(sizeof folder, folder) || !GetTempFileNameA(folder, "vmu", 0, path))
    throw EFCreateError(CreateErrorText(std::string(folder) + "vmu*.tmp", GetLastError()));
  FHandle.reset(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  if (!FHandle) {
    DWORD error = GetLastError();
    DeleteFileA(path);
    throw EFCreateError(CreateErrorText(path, error));
  }
}

void TDownloadFile::Write(const void* data, size_t size) {
  if (size > FLimit - FWritten) throw EDownloadRefused("more bytes than the signed size");
  if (!WriteAll(FHandle.get(), data, size)) throw EStreamError("Stream write error");
  FWritten += size;
}

void TDownloadFile::SeekStart() { SetFilePointer(FHandle.get(), 0, nullptr, FILE_BEGIN); }

void TDownloadFile::CopyTo(const std::string& target) {
  FileHandle out(CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!out) throw EFCreateError(CreateErrorText(target, GetLastError()));
  SeekStart();
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    DWORD n = 0;
    bool read = ReadFile(FHandle.get(), buffer.data(), DWORD(buffer.size()), &n, nullptr);
    if (read && n == 0) return;
    if (!read || !WriteAll(out.get(), buffer.data(), n)) {
      out.reset();
      DeleteFileA(target.c_str());
      throw EStreamError("Stream write error");
    }
  }
}

}  // namespace vm
