#include <windows.h>

#include <cstdint>
#include <vector>

#include "base/AnsiText.h"
#include "base/Exception.h"
#include "base/FileIO.h"
#include "base/Handles_win32.h"

namespace vm {

unsigned long LastErrorCode() { return GetLastError(); }

std::string SysErrorMessage(unsigned long code) {
  char* buffer = nullptr;
  DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                               FORMAT_MESSAGE_ARGUMENT_ARRAY,
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

std::wstring FromUtf8(const std::u8string& text) {
  const char* bytes = reinterpret_cast<const char*>(text.data());
  int n = MultiByteToWideChar(CP_UTF8, 0, bytes, int(text.size()), nullptr, 0);
  std::wstring wide(size_t(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, bytes, int(text.size()), wide.data(), n);
  return wide;
}

TName AnsiName(const std::string& path) {
  std::u16string wide = AnsiToWide(path);
  return {std::wstring(wide.begin(), wide.end()), path};
}
TName Utf8Name(const std::u8string& path) { return {FromUtf8(path), DisplayPath(path)}; }

bool WriteAll(HANDLE h, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD chunk = DWORD(std::min<size_t>(bytes.size() - done, 1u << 20)), written = 0;
    if (!WriteFile(h, bytes.data() + done, chunk, &written, nullptr) || written == 0) return false;
    done += written;
  }
  return true;
}

// The file's bytes up to its size when opened; false with GetLastError on a failure.
bool ReadAll(HANDLE f, std::string& bytes, size_t maxBytes, bool& tooLarge) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(f, &size)) return false;
  tooLarge = std::uint64_t(size.QuadPart) > maxBytes;
  if (tooLarge) return false;
  bytes.assign(size_t(size.QuadPart), '\0');
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD chunk = DWORD(std::min<size_t>(bytes.size() - done, 1u << 20)), got = 0;
    if (!ReadFile(f, bytes.data() + done, chunk, &got, nullptr)) return false;
    if (got == 0) break;
    done += got;
  }
  bytes.resize(done);
  return true;
}

std::string Read(const TName& name, size_t maxBytes) {
  FileHandle f(CreateFileW(name.Wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f) throw EFOpenError(OpenErrorText(name.Shown, GetLastError()));
  std::string bytes;
  bool tooLarge = false;
  if (!ReadAll(f.get(), bytes, maxBytes, tooLarge))
    throw EFOpenError(tooLarge ? TooLargeErrorText(name.Shown, maxBytes) : OpenErrorText(name.Shown, GetLastError()));
  return bytes;
}

// Attributes that a replacement carries over from the file it replaces.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

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
  if (error == 0 &&
      !ReplaceFileW(path.c_str(), temp.c_str(), backup.c_str(), REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
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

DWORD Attributes(const std::u8string& path) { return GetFileAttributesW(FromUtf8(path).c_str()); }

// Clears the read-only attribute, which would refuse a write or a delete.
void MakeWritable(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
    SetFileAttributesA(path.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
}

}  // namespace

std::string ReadFileDenyWrite(const std::string& path) { return Read(AnsiName(path), size_t(-1)); }
std::string ReadFileDenyWrite(const std::u8string& path, size_t maxBytes) { return Read(Utf8Name(path), maxBytes); }

TExclusiveRead ReadFileExclusive(const std::string& path, std::string& bytes) {
  FileHandle f(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr));
  if (!f) return GetLastError() == ERROR_FILE_NOT_FOUND ? TExclusiveRead::Missing : TExclusiveRead::Failed;
  bool tooLarge = false;
  return ReadAll(f.get(), bytes, size_t(-1), tooLarge) ? TExclusiveRead::Read : TExclusiveRead::Failed;
}

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

bool AppendToFile(const std::string& path, const std::string& bytes) {
  FileHandle f(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr));
  if (!f || !WriteAll(f.get(), bytes)) return false;
  return CloseHandle(f.release());
}

std::optional<std::uint64_t> FileSizeOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
  return std::uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

bool CopyFileTo(const std::string& from, const std::string& to) {
  if (CopyFileA(from.c_str(), to.c_str(), FALSE)) {
    // A read-only source gives a read-only copy, which callers append to and delete later.
    MakeWritable(to);
    return true;
  }
  DeleteFileA(to.c_str());
  return false;
}

bool RemoveFile(const std::string& path) { return DeleteFileA(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND; }

bool RemoveFileForce(const std::string& path) {
  if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
  MakeWritable(path);
  return RemoveFile(path);
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

bool CreateFolder(const std::string& path) {
  if (CreateDirectoryA(path.c_str(), nullptr)) return true;
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void CreateFoldersFor(const std::string& path) {
  // Past the drive ("C:\") or the server and share of a network path.
  size_t from = path.rfind("\\\\", 0) == 0 ? path.find('\\', path.find('\\', 2) + 1) : path.find('\\');
  for (size_t at = from == std::string::npos ? from : path.find_first_of("\\/", from + 1); at != std::string::npos;
       at = path.find_first_of("\\/", at + 1))
    CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
}

std::string ModulePath(const void* module) {
  std::vector<char> path(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameA(HMODULE(module), path.data(), DWORD(path.size()));
    if (n == 0) return std::string();
    if (n < path.size()) return std::string(path.data(), n);
    path.resize(path.size() * 2);  // cut short: ask again with room to spare
  }
}

namespace {
// Plain bytes, filled at start: no heap and no loader when a fault reads them.
char NotedProgram[32768] = "";
}  // namespace

void NoteProgramPath() {
  DWORD n = GetModuleFileNameA(nullptr, NotedProgram, sizeof NotedProgram);
  if (n == 0 || n >= sizeof NotedProgram) NotedProgram[0] = 0;
}

std::string ProgramPath() { return NotedProgram[0] ? std::string(NotedProgram) : ModulePath(nullptr); }

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

}  // namespace vm
