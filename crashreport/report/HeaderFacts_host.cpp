// The host's stand-in for the header facts: what a POSIX system can answer for the same
// rows, so that the gathering path runs in the host tests too.
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <fstream>

#include "base/FileIO.h"
#include "crashreport/report/HeaderFacts.h"
#include "crashreport/report/ReportFormat.h"

namespace vm {

namespace {

std::chrono::steady_clock::time_point gStart = std::chrono::steady_clock::now();

}  // namespace

void NoteReporterStart() { gStart = std::chrono::steady_clock::now(); }

THeaderFacts GatherHeaderFacts(const THeaderRequest& request) {
  THeaderFacts f;
  f.ExceptionTime = request.ExceptionTime;
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) == 0) f.ComputerName = name;
  if (const char* user = getenv("USER")) f.UserName = user;
  f.UserIsAdmin = geteuid() == 0;
  struct utsname u;
  if (uname(&u) == 0) f.OperatingSystem = std::string(u.sysname) + " " + u.release;
  f.ProgramUpTimeMs = std::uint64_t(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - gStart).count());
  struct timespec up;
  if (clock_gettime(CLOCK_BOOTTIME, &up) == 0)
    f.SystemUpTimeMs = std::uint64_t(up.tv_sec) * 1000 + up.tv_nsec / 1000000;
  long cpus = sysconf(_SC_NPROCESSORS_ONLN);
  f.ProcessorCount = cpus > 0 ? int(cpus) : 1;
  std::ifstream cpuinfo("/proc/cpuinfo");
  for (std::string line; std::getline(cpuinfo, line);)
    if (line.rfind("model name", 0) == 0 && line.find(": ") != std::string::npos) {
      f.ProcessorName = line.substr(line.find(": ") + 2);
      break;
    }
  long page = sysconf(_SC_PAGESIZE), pages = sysconf(_SC_PHYS_PAGES), avail = sysconf(_SC_AVPHYS_PAGES);
  if (page > 0 && pages > 0 && avail >= 0) {
    f.PhysicalTotal = std::uint64_t(pages) * std::uint64_t(page);
    f.PhysicalFree = std::uint64_t(avail) * std::uint64_t(page);
  }
  f.ProcessId = std::uint32_t(getpid());
  const std::string exePath = ProgramPath();
  f.Executable = FileNameOf(exePath);
  struct stat st;
  if (!exePath.empty() && stat(exePath.c_str(), &st) == 0) {
    struct tm t;
    localtime_r(&st.st_mtime, &t);
    f.ExecDateTime = TLocalTime{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, 0};
  }
  if (!request.Version.empty()) f.Version = request.Version;
  f.CompiledWith = CompilerText();
  return f;
}

}  // namespace vm
