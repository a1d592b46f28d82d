// Host side of the file seam. POSIX has no share modes; tests that depend on them run
// under Wine against FileIO_win32.cpp.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/Exception.h"
#include "base/FileIO.h"

namespace vm {

unsigned long LastErrorCode() { return static_cast<unsigned long>(errno); }

std::string SysErrorMessage(unsigned long code) { return std::strerror(int(code)); }

namespace {

struct Fd {
  int fd;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

}  // namespace

std::string ReadFileDenyWrite(const std::string& path) {
  Fd f{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  struct stat st;
  if (f.fd < 0 || ::fstat(f.fd, &st) != 0) throw EFOpenError(OpenErrorText(path, LastErrorCode()));
  if (S_ISDIR(st.st_mode)) throw EFOpenError(OpenErrorText(path, EISDIR));
  std::string bytes;
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(f.fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw EFOpenError(OpenErrorText(path, LastErrorCode()));
    if (n == 0) break;
    bytes.append(buf, size_t(n));
  }
  return bytes;
}

void WriteFileCreate(const std::string& path, const std::string& bytes) {
  Fd f{::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)};
  if (f.fd < 0 || !WriteAll(f.fd, bytes)) throw EFCreateError(CreateErrorText(path, LastErrorCode()));
}

void ReplaceFileContents(const std::string& path, const std::string& bytes) {
  std::string temp = path + ".vmnew" + std::to_string(::getpid());
  unsigned long error = 0;
  {
    Fd f{::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644)};
    if (f.fd < 0) throw EFCreateError(CreateErrorText(path, LastErrorCode()));
    if (!WriteAll(f.fd, bytes) || ::fsync(f.fd) != 0) error = LastErrorCode();
  }
  if (error == 0 && ::rename(temp.c_str(), path.c_str()) != 0) error = LastErrorCode();
  if (error != 0) {
    ::unlink(temp.c_str());
    throw EFCreateError(CreateErrorText(path, error));
  }
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace vm
