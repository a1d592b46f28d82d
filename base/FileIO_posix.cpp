// Host side of the file seam. POSIX has no share modes; tests that depend on them run
// under Wine against FileIO_win32.cpp.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

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

// All bytes to the end; false with errno on a read error.
bool ReadAll(int fd, std::string& bytes) {
  bytes.clear();
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    bytes.append(buf, size_t(n));
  }
}

}  // namespace

std::string ReadFileDenyWrite(const std::string& path) {
  Fd f{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  struct stat st;
  if (f.fd < 0 || ::fstat(f.fd, &st) != 0) throw EFOpenError(OpenErrorText(path, LastErrorCode()));
  if (S_ISDIR(st.st_mode)) throw EFOpenError(OpenErrorText(path, EISDIR));
  std::string bytes;
  if (!ReadAll(f.fd, bytes)) throw EFOpenError(OpenErrorText(path, LastErrorCode()));
  return bytes;
}

// POSIX has no share modes, so a file is never "held" here; the sharing cases run under
// Wine against FileIO_win32.cpp.
TExclusiveRead ReadFileExclusive(const std::string& path, std::string& bytes) {
  Fd f{::open(path.c_str(), O_RDWR | O_CLOEXEC)};
  if (f.fd < 0) return errno == ENOENT ? TExclusiveRead::Missing : TExclusiveRead::Failed;
  return ReadAll(f.fd, bytes) ? TExclusiveRead::Read : TExclusiveRead::Failed;
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

bool AppendToFile(const std::string& path, const std::string& bytes) {
  Fd f{::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644)};
  if (f.fd < 0 || !WriteAll(f.fd, bytes)) return false;
  return ::close(std::exchange(f.fd, -1)) == 0;
}

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

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0 || errno == ENOENT; }

// POSIX has no read-only attribute; write permission for the owner is its nearest kin.
bool RemoveFileForce(const std::string& path) {
  ::chmod(path.c_str(), 0644);
  return RemoveFile(path);
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

bool CreateFolder(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  return ::mkdir(path.c_str(), 0755) == 0;
}

void CreateFoldersFor(const std::string& path) {
  for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1))
    ::mkdir(path.substr(0, at).c_str(), 0755);
}

std::string ModulePath(const void* module) {
  if (module) return std::string();
  std::vector<char> path(4096);
  ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
  return n > 0 ? std::string(path.data(), size_t(n)) : std::string();
}

namespace {
std::string NotedProgram;
bool ProgramNoted = false;
}  // namespace

// The host has no loader lock to fear; the note only keeps the two sides alike.
void NoteProgramPath() {
  NotedProgram = ModulePath(nullptr);
  ProgramNoted = true;
}

std::string ProgramPath() { return ProgramNoted ? NotedProgram : ModulePath(nullptr); }

// File names are bytes here; UTF-8 is what the host's names are written in.
namespace {
std::string Bytes(const std::u8string& path) { return std::string(path.begin(), path.end()); }
}  // namespace

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
