// Host side of the delivery's file work; POSIX has no read-only attribute to clear, so
// DeleteFileForce gives the owner write permission first, which is its nearest kin.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/FileIO.h"
#include "crashreport/delivery/DeliveryFiles.h"

namespace vm {

std::optional<std::uint64_t> FileSizeOf(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return std::uint64_t(st.st_size);
}

bool CopyFileTo(const std::string& from, const std::string& to) {
  try {
    WriteFileCreate(to, ReadFileDenyWrite(from));
    return true;
  } catch (...) {
    ::unlink(to.c_str());
    return false;
  }
}

bool DeleteFileForce(const std::string& path) {
  ::chmod(path.c_str(), 0644);
  return DeleteFilePlain(path);
}

bool DeleteFilePlain(const std::string& path) { return ::unlink(path.c_str()) == 0 || errno == ENOENT; }

bool AppendToFile(const std::string& path, const std::string& bytes) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
  return ::close(fd) == 0 && ok;
}

bool EnsureFolder(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  return ::mkdir(path.c_str(), 0755) == 0;
}

TPieceReader::TPieceReader(const std::string& path) { FHandle = ::open(path.c_str(), O_RDONLY | O_CLOEXEC); }

TPieceReader::~TPieceReader() {
  if (Open()) ::close(int(FHandle));
}

long TPieceReader::Read(char* buffer, long size) {
  if (!Open()) return -1;
  ssize_t n;
  do n = ::read(int(FHandle), buffer, size_t(size));
  while (n < 0 && errno == EINTR);
  return long(n);
}

}  // namespace vm
