// Windows side of the delivery's file work: ANSI paths; reads share writing, because the
// program may still be appending to its report file while a copy of it is sent.
#include <windows.h>

#include "crashreport/delivery/DeliveryFiles.h"

namespace vm {

std::optional<std::uint64_t> FileSizeOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
  return std::uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

bool CopyFileTo(const std::string& from, const std::string& to) {
  if (CopyFileA(from.c_str(), to.c_str(), FALSE)) {
    // A read-only source gives a read-only copy, which we append to and delete later.
    DWORD attributes = GetFileAttributesA(to.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
      SetFileAttributesA(to.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
    return true;
  }
  DeleteFileA(to.c_str());
  return false;
}

bool DeleteFileForce(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesA(path.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
  return DeleteFilePlain(path);
}

bool DeleteFilePlain(const std::string& path) {
  return DeleteFileA(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

bool AppendToFile(const std::string& path, const std::string& bytes) {
  HANDLE h = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(h, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
  return CloseHandle(h) && ok;
}

bool EnsureFolder(const std::string& path) {
  if (CreateDirectoryA(path.c_str(), nullptr)) return true;
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TPieceReader::TPieceReader(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  FHandle = h == INVALID_HANDLE_VALUE ? kNone : std::intptr_t(h);
}

TPieceReader::~TPieceReader() {
  if (Open()) CloseHandle(HANDLE(FHandle));
}

long TPieceReader::Read(char* buffer, long size) {
  DWORD got = 0;
  if (!Open() || !ReadFile(HANDLE(FHandle), buffer, DWORD(size), &got, nullptr)) return -1;
  return long(got);
}

}  // namespace vm
