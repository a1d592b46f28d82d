#include <windows.h>

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

bool WriteAll(HANDLE h, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD chunk = DWORD(std::min<size_t>(bytes.size() - done, 1u << 20)), written = 0;
    if (!WriteFile(h, bytes.data() + done, chunk, &written, nullptr) || written == 0) return false;
    done += written;
  }
  return true;
}

}  // namespace

std::string ReadFileDenyWrite(const std::string& path) {
  FileHandle f(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f) throw EFOpenError(OpenErrorText(path, GetLastError()));
  LARGE_INTEGER size;
  if (!GetFileSizeEx(f.get(), &size)) throw EFOpenError(OpenErrorText(path, GetLastError()));
  std::string bytes(size_t(size.QuadPart), '\0');
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD chunk = DWORD(std::min<size_t>(bytes.size() - done, 1u << 20)), got = 0;
    if (!ReadFile(f.get(), bytes.data() + done, chunk, &got, nullptr))
      throw EFOpenError(OpenErrorText(path, GetLastError()));
    if (got == 0) break;
    done += got;
  }
  bytes.resize(done);
  return bytes;
}

void WriteFileCreate(const std::string& path, const std::string& bytes) {
  FileHandle f(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f || !WriteAll(f.get(), bytes)) throw EFCreateError(CreateErrorText(path, GetLastError()));
}

void ReplaceFileContents(const std::string& path, const std::string& bytes) {
  std::string temp = path + ".vmnew" + std::to_string(GetCurrentProcessId());
  DWORD error = 0;
  {
    FileHandle f(CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr));
    if (!f) throw EFCreateError(CreateErrorText(path, GetLastError()));
    if (!WriteAll(f.get(), bytes) || !FlushFileBuffers(f.get())) error = GetLastError();
  }
  // ReplaceFileA keeps the original's attributes and security. It is given a backup name of
  // ours, so that no stray file of its own is left behind, and so that the one failure
  // after which the original stands under the backup name can be undone. MoveFileExA
  // covers file systems where ReplaceFileA is not available. The first failure says most.
  std::string backup = path + ".vmold" + std::to_string(GetCurrentProcessId());
  if (error == 0 && !ReplaceFileA(path.c_str(), temp.c_str(), backup.c_str(), REPLACEFILE_IGNORE_MERGE_ERRORS,
                                  nullptr, nullptr)) {
    error = GetLastError();
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2)
      MoveFileExA(backup.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    else if (MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      error = 0;
  }
  DeleteFileA(backup.c_str());
  if (error != 0) {
    DeleteFileA(temp.c_str());
    throw EFCreateError(CreateErrorText(path, error));
  }
}

bool FileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace vm
