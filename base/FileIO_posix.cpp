// Host side of the file seam. POSIX has no share modes; tests that depend on them run
// under Wine against FileIO_win32.cpp.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
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

// File names are bytes here; UTF-8 is what the host's names are written in.
namespace {
std::string Bytes(const std::u8string& path) { return std::string(path.begin(), path.end()); }
}  // namespace

std::string DisplayPath(const std::u8string& path) { return Bytes(path); }

std::string ReadFileDenyWrite(const std::u8string& path, size_t maxBytes) {
  struct stat st;
  if (::stat(Bytes(path).c_str(), &st) == 0 && std::uint64_t(st.st_size) > maxBytes)
    throw EFOpenError(TooLargeErrorText(Bytes(path), maxBytes));
  return ReadFileDenyWrite(Bytes(path));
}

// The host's stand-in for the read-only attribute is a file without write permission, and
// for the other attributes its mode, which the swap carries over.
void ReplaceFileContents(const std::u8string& path, const std::string& bytes) {
  struct stat st;
  const bool exists = ::stat(Bytes(path).c_str(), &st) == 0;
  if (exists && !(st.st_mode & S_IWUSR)) throw EFCreateError(CreateErrorText(Bytes(path), EACCES));
  ReplaceFileContents(Bytes(path), bytes);
  if (exists) ::chmod(Bytes(path).c_str(), st.st_mode & 07777);
}

bool FileExists(const std::u8string& path) { return FileExists(Bytes(path)); }

bool FileIsReadOnly(const std::u8string& path) {
  struct stat st;
  return ::stat(Bytes(path).c_str(), &st) == 0 && !(st.st_mode & S_IWUSR);
}

// The host has no share modes; the stand-in for a lock file held by its program is a
// write lock that another process keeps on it, which ends with that process as a handle does.
bool FileHeldByAnother(const std::u8string& path) {
  Fd f{::open(Bytes(path).c_str(), O_RDONLY | O_CLOEXEC)};
  if (f.fd < 0) return false;
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  return ::fcntl(f.fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
}

}  // namespace vm
