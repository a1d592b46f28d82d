// Host side: POSIX has no share modes, so a file is never "held"; the sharing cases run
// under Wine against BugReportDisk_win32.cpp.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "crashreport/report/BugReportDisk.h"

namespace vm {

TExclusiveRead ReadFileExclusive(const std::string& path, std::string& bytes) {
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? TExclusiveRead::Missing : TExclusiveRead::Failed;
  bytes.clear();
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return TExclusiveRead::Failed;
    }
    if (n == 0) break;
    bytes.append(buf, size_t(n));
  }
  ::close(fd);
  return TExclusiveRead::Read;
}

void CreateFoldersFor(const std::string& path) {
  for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1))
    ::mkdir(path.substr(0, at).c_str(), 0755);
}

void RemoveFile(const std::string& path) { ::unlink(path.c_str()); }

}  // namespace vm
