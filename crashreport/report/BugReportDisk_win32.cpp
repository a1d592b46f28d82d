#include <windows.h>

#include "base/Handles_win32.h"
#include "crashreport/report/BugReportDisk.h"

namespace vm {

TExclusiveRead ReadFileExclusive(const std::string& path, std::string& bytes) {
  FileHandle f(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? TExclusiveRead::Missing : TExclusiveRead::Failed;
  }
  LARGE_INTEGER size;
  if (!GetFileSizeEx(f.get(), &size)) return TExclusiveRead::Failed;
  bytes.assign(size_t(size.QuadPart), '\0');
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD chunk = DWORD(std::min<size_t>(bytes.size() - done, 1u << 20)), got = 0;
    if (!ReadFile(f.get(), bytes.data() + done, chunk, &got, nullptr)) return TExclusiveRead::Failed;
    if (got == 0) break;
    done += got;
  }
  bytes.resize(done);
  // The handle closes here: the swap that follows needs the file free of our own handle too.
  return TExclusiveRead::Read;
}

void CreateFoldersFor(const std::string& path) {
  // Past the drive ("C:\") or the server and share of a network path.
  size_t from = path.rfind("\\\\", 0) == 0 ? path.find('\\', path.find('\\', 2) + 1) : path.find('\\');
  for (size_t at = from == std::string::npos ? from : path.find_first_of("\\/", from + 1);
       at != std::string::npos; at = path.find_first_of("\\/", at + 1))
    CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
}

void RemoveFile(const std::string& path) { DeleteFileA(path.c_str()); }

}  // namespace vm
