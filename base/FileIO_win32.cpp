#include <windows.h>

#include <cstdint>

#include "base/Exception.h"
#include "base/FileIO.h"
#include "base/Handles_win32.h"

namespace vm {

unsigned long LastErrorCode() { return GetLastError(); }

std::string SysErrorMessage(unsigned long code) {
  char* buffer = nullptr;
  DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                           nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text(buffer ? buffer : "", n);
  if (buffer) LocalFree(buffer);
  // The system's texts end in a full stop and a line break; the callers add their own.
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.')) text.pop_back();
  return text;
}

namespace {

// Every file function works on the UTF-16 name; `Shown` is the name as messages give it.
struct TName {
  std::wstring Wide;
  std::string Shown;
};

std::wstring Widen(const std::string& text, UINT codePage) {
  int n = MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), nullptr, 0);
  std::wstring wide(size_t(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), wide.data(), n);
  return wide;
}

TName AnsiName(const std::string& path) { return {Widen(path, CP_ACP), path}; }
TName Utf8Name(const std::u8string& path) {
  return {Widen(std::string(path.begin(), path.end()), CP_UTF8), DisplayPath(path)};
}

bool WriteAll(HANDLE h, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD chunk = DWORD(std::min<size_t>(bytes.size() - done, 1u << 20)), written = 0;
    if (!WriteFile(h, bytes.data() + done, chunk, &written, nullptr) || written == 0) return false;
    done += written;
  }
  return true;
}

std::string Read(const TName& name, size_t maxBytes) {
  FileHandle f(CreateFileW(name.Wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f) throw EFOpenError(OpenErrorText(name.Shown, GetLastError()));
  LARGE_INTEGER size;
  if (!GetFileSizeEx(f.get(), &size)) throw EFOpenError(OpenErrorText(name.Shown, GetLastError()));
  if (std::uint64_t(size.QuadPart) > maxBytes) throw EFOpenError(TooLargeErrorText(name.Shown, maxBytes));
  std::string bytes(size_t(size.QuadPart), '\0');
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD chunk = DWORD(std::min<size_t>(bytes.size() - done, 1u << 20)), got = 0;
    if (!ReadFile(f.get(), bytes.data() + done, chunk, &got, nullptr))
      throw EFOpenError(OpenErrorText(name.Shown, GetLastError()));
    if (got == 0) break;
    done += got;
  }
  bytes.resize(done);
  return bytes;
}

// Attributes that a replacement carries over from the file it replaces.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

void Replace(const TName& name, const std::string& bytes) {
  const std::wstring& path = name.Wide;
  const DWORD original = GetFileAttributesW(path.c_str());
  // A read-only file is one its owner has asked us not to change; the swap would ignore that.
  if (original != INVALID_FILE_ATTRIBUTES && (original & FILE_ATTRIBUTE_READONLY))
    throw EFCreateError(CreateErrorText(name.Shown, ERROR_ACCESS_DENIED));
  const DWORD kept = original == INVALID_FILE_ATTRIBUTES ? 0 : original & kKeptAttributes;
  const std::wstring pid = std::to_wstring(GetCurrentProcessId());
  const std::wstring temp = path + L".vmnew" + pid;
  DWORD error = 0;
  {
    FileHandle f(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             (kept ? kept : FILE_ATTRIBUTE_NORMAL) | FILE_FLAG_WRITE_THROUGH, nullptr));
    if (!f) throw EFCreateError(CreateErrorText(name.Shown, GetLastError()));
    if (!WriteAll(f.get(), bytes) || !FlushFileBuffers(f.get())) error = GetLastError();
  }
  // ReplaceFileW keeps the original's security. It is given a backup name of ours, so that
  // no stray file of its own is left behind, and so that the one failure after which the
  // original stands under the backup name can be undone. MoveFileExW covers file systems
  // where ReplaceFileW is not available. The first failure says most.
  const std::wstring backup = path + L".vmold" + pid;
  if (error == 0 && !ReplaceFileW(path.c_str(), temp.c_str(), backup.c_str(), REPLACEFILE_IGNORE_MERGE_ERRORS,
                                  nullptr, nullptr)) {
    error = GetLastError();
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2)
      MoveFileExW(backup.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    else if (MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      error = 0;
  }
  DeleteFileW(backup.c_str());
  if (error != 0) {
    DeleteFileW(temp.c_str());
    throw EFCreateError(CreateErrorText(name.Shown, error));
  }
  // Wine's swap drops the hidden attribute; put back what the file had.
  if (kept && (GetFileAttributesW(path.c_str()) & kKeptAttributes) != kept) SetFileAttributesW(path.c_str(), kept);
}

DWORD Attributes(const std::u8string& path) { return GetFileAttributesW(Utf8Name(path).Wide.c_str()); }

}  // namespace

std::string ReadFileDenyWrite(const std::string& path) { return Read(AnsiName(path), size_t(-1)); }
std::string ReadFileDenyWrite(const std::u8string& path, size_t maxBytes) { return Read(Utf8Name(path), maxBytes); }

void WriteFileCreate(const std::string& path, const std::string& bytes) {
  FileHandle f(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f || !WriteAll(f.get(), bytes)) throw EFCreateError(CreateErrorText(path, GetLastError()));
}

void ReplaceFileContents(const std::string& path, const std::string& bytes) { Replace(AnsiName(path), bytes); }
void ReplaceFileContents(const std::u8string& path, const std::string& bytes) { Replace(Utf8Name(path), bytes); }

bool FileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileExists(const std::u8string& path) {
  DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileIsReadOnly(const std::u8string& path) {
  DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

bool FileHeldByAnother(const std::u8string& path) {
  FileHandle f(CreateFileW(Utf8Name(path).Wide.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr));
  return !f && GetLastError() == ERROR_SHARING_VIOLATION;
}

std::string DisplayPath(const std::u8string& path) {
  std::wstring wide = Widen(std::string(path.begin(), path.end()), CP_UTF8);
  int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string text(size_t(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()), text.data(), n, nullptr, nullptr);
  return text;
}

}  // namespace vm
