// The header facts from Windows. Each fact is asked under its own guard and only through
// plain system calls: the process may be in a bad state when this runs.
// windows.h comes first: the other system headers build on its types.
#include <windows.h>

#include <psapi.h>
#include <wtsapi32.h>

#include <functional>

#include "base/FileIO.h"
#include "base/Text.h"
#include "crashreport/report/HeaderFacts.h"
#include "crashreport/report/ReportFormat.h"

namespace vm {

namespace {

LARGE_INTEGER gStart{};

void Guard(const std::function<void()>& ask) {
  try {
    ask();
  } catch (...) {
  }
}

std::optional<std::string> RegText(HKEY root, const char* key, const char* value) {
  HKEY h;
  if (RegOpenKeyExA(root, key, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &h) != ERROR_SUCCESS) return std::nullopt;
  char data[512] = {};
  DWORD size = sizeof data - 1, type = 0;
  LONG rc = RegQueryValueExA(h, value, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(h);
  if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
  return Trim(std::string(data, strnlen(data, size)));
}

constexpr const char* kCurrentVersion = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

bool IsAdmin() {
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID admins = nullptr;
  if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                &admins))
    return false;
  BOOL member = FALSE;
  if (!CheckTokenMembership(nullptr, admins, &member)) member = FALSE;
  FreeSid(admins);
  return member != FALSE;
}

// The true version: GetVersionEx answers 6.2 to a program without a compatibility
// manifest on Windows 8.1 and later, the native call does not.
bool RealVersion(OSVERSIONINFOEXW& v) {
  using TRtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOEXW*);
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  auto get = ntdll ? reinterpret_cast<TRtlGetVersion>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                   : nullptr;
  v = {};
  v.dwOSVersionInfoSize = sizeof v;
  return get && get(&v) == 0;
}

std::string SystemName(const OSVERSIONINFOEXW& v) {
  const bool server = v.wProductType != VER_NT_WORKSTATION;
  const DWORD major = v.dwMajorVersion, minor = v.dwMinorVersion, build = v.dwBuildNumber;
  if (major == 10 && !server) return build >= 22000 ? "Windows 11" : "Windows 10";
  if (major == 10)
    return build >= 26100   ? "Windows Server 2025"
           : build >= 20348 ? "Windows Server 2022"
           : build >= 17763 ? "Windows Server 2019"
                            : "Windows Server 2016";
  if (major == 6 && minor == 3) return server ? "Windows Server 2012 R2" : "Windows 8.1";
  if (major == 6 && minor == 2) return server ? "Windows Server 2012" : "Windows 8";
  if (major == 6 && minor == 1) return server ? "Windows Server 2008 R2" : "Windows 7";
  if (major == 6 && minor == 0) return server ? "Windows Server 2008" : "Windows Vista";
  if (major == 5 && minor == 1) return "Windows XP";
  if (major == 5 && minor == 2) return server ? "Windows Server 2003" : "Windows XP x64";
  return FormatText("Windows %lu.%lu", major, minor);
}

std::string EditionName(DWORD product) {
  switch (product) {
    case 0x00000065:
    case 0x00000062:
    case 0x00000064:
      return "Home";  // core, core N, single language
    case 0x00000030:
    case 0x00000031:
      return "Pro";
    case 0x00000004:
    case 0x0000001B:
      return "Enterprise";
    case 0x00000079:
      return "Education";
    case 0x00000002:
      return "Home Basic";
    case 0x00000003:
      return "Home Premium";
    case 0x00000001:
      return "Ultimate";
    case 0x00000006:
      return "Business";
    case 0x00000007:
      return "Server Standard";
    case 0x00000008:
      return "Server Datacenter";
    default:
      return {};
  }
}

std::optional<std::uint64_t> DiskFree(const std::string& root) {
  ULARGE_INTEGER free{};
  if (!GetDiskFreeSpaceExA(root.c_str(), &free, nullptr, nullptr)) return std::nullopt;
  return free.QuadPart;
}

std::optional<TLocalTime> LastWriteTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  FILETIME local;
  SYSTEMTIME t;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
      !FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) || !FileTimeToSystemTime(&local, &t))
    return std::nullopt;
  return TLocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

// The program was started with arguments when its command line holds more than its own name.
std::optional<std::string> CommandLineWithArguments() {
  std::string line = GetCommandLineA();
  size_t end;
  if (!line.empty() && line[0] == '"') {
    end = line.find('"', 1);
    end = end == std::string::npos ? line.size() : end + 1;
  } else
    end = line.find(' ');
  if (end == std::string::npos || Trim(line.substr(end)).empty()) return std::nullopt;
  return line;
}

}  // namespace

void NoteReporterStart() { QueryPerformanceCounter(&gStart); }

THeaderFacts GatherHeaderFacts(const THeaderRequest& request) {
  THeaderFacts f;
  f.ExceptionTime = request.ExceptionTime;
  Guard([&] {
    char name[MAX_COMPUTERNAME_LENGTH + 64] = {};
    DWORD size = sizeof name;
    if (GetComputerNameA(name, &size)) f.ComputerName = std::string(name, size);
  });
  Guard([&] {
    char* name = nullptr;
    DWORD size = 0;
    if (WTSQuerySessionInformationA(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, WTSClientName, &name, &size) &&
        name) {
      if (*name) f.WtsClientName = std::string(name);
      WTSFreeMemory(name);
    }
  });
  Guard([&] {
    char name[256] = {};
    DWORD size = sizeof name;
    if (GetUserNameA(name, &size)) f.UserName = std::string(name);
    f.UserIsAdmin = IsAdmin();
  });
  Guard([&] {
    f.RegisteredOwner = RegText(HKEY_LOCAL_MACHINE, kCurrentVersion, "RegisteredOwner");
    f.RegisteredOrganization = RegText(HKEY_LOCAL_MACHINE, kCurrentVersion, "RegisteredOrganization").value_or("");
  });
  Guard([&] {
    OSVERSIONINFOEXW v;
    if (!RealVersion(v)) return;
    std::string name = SystemName(v);
    DWORD product = 0;
    if (v.dwMajorVersion >= 6 && GetProductInfo(v.dwMajorVersion, v.dwMinorVersion, 0, 0, &product)) {
      std::string edition = EditionName(product);
      if (!edition.empty()) name += " " + edition;
    }
    if (v.wServicePackMajor) name += FormatText(" Service Pack %u", unsigned(v.wServicePackMajor));
    f.OperatingSystem = name;
    f.OsBuild = v.dwBuildNumber;
  });
  Guard([&] {
    char name[128] = {};
    if (GetLocaleInfoA(GetSystemDefaultLCID(), LOCALE_SENGLANGUAGE, name, sizeof name))
      f.SystemLanguage = std::string(name);
  });
  Guard([&] { f.SystemUpTimeMs = GetTickCount64(); });
  Guard([&] {
    LARGE_INTEGER now, frequency;
    if (gStart.QuadPart && QueryPerformanceCounter(&now) && QueryPerformanceFrequency(&frequency) && frequency.QuadPart)
      f.ProgramUpTimeMs = std::uint64_t((now.QuadPart - gStart.QuadPart) * 1000 / frequency.QuadPart);
  });
  Guard([&] {
    SYSTEM_INFO info;
    GetNativeSystemInfo(&info);
    f.ProcessorCount = int(info.dwNumberOfProcessors);
    f.ProcessorName =
        RegText(HKEY_LOCAL_MACHINE, "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", "ProcessorNameString");
  });
  Guard([&] {
    MEMORYSTATUSEX m;
    m.dwLength = sizeof m;
    if (GlobalMemoryStatusEx(&m)) {
      f.PhysicalFree = m.ullAvailPhys;
      f.PhysicalTotal = m.ullTotalPhys;
    }
  });
  // "system resources" exist on the old 16-bit-heap systems only; never on these.
  const std::string exePath = ProgramPath();
  Guard([&] {
    char system[MAX_PATH] = {};
    if (!GetSystemDirectoryA(system, sizeof system) || system[1] != ':') return;
    const char drive = AsciiUpper(system[0]);
    if (auto free = DiskFree(FormatText("%c:\\", drive))) f.FreeDisk.push_back({drive, *free});
    if (exePath.size() > 1 && exePath[1] == ':' && AsciiUpper(exePath[0]) != drive)
      if (auto free = DiskFree(FormatText("%c:\\", AsciiUpper(exePath[0]))))
        f.FreeDisk.push_back({AsciiUpper(exePath[0]), *free});
  });
  Guard([&] {
    HDC dc = GetDC(nullptr);
    if (!dc) return;
    f.Display = TDisplayMode{GetDeviceCaps(dc, HORZRES), GetDeviceCaps(dc, VERTRES),
                             GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES)};
    ReleaseDC(nullptr, dc);
  });
  Guard([&] { f.ProcessId = GetCurrentProcessId(); });
  Guard([&] {
    PROCESS_MEMORY_COUNTERS counters;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
      f.AllocatedMemory = counters.PagefileUsage;
  });
  Guard([&] { f.CommandLine = CommandLineWithArguments(); });
  Guard([&] {
    f.Executable = FileNameOf(exePath);
    std::string modulePath = exePath;
    HMODULE settingsModule = reinterpret_cast<HMODULE>(request.SettingsModule);
    if (settingsModule && settingsModule != GetModuleHandleA(nullptr)) {
      modulePath = ModulePath(settingsModule);
      f.CurrentModule = FileNameOf(modulePath);
    }
    f.ExecDateTime = LastWriteTime(modulePath);
  });
  if (!request.Version.empty()) f.Version = request.Version;
  Guard([&] {
    // The database engine's version, only when a program of ours has it loaded.
    HMODULE bde = GetModuleHandleA("idapi32.dll");
    if (!bde) return;
    std::string path = ModulePath(bde);
    DWORD ignored = 0, size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    std::string block(size, '\0');
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (size && GetFileVersionInfoA(path.c_str(), 0, size, block.data()) &&
        VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&info), &length) && info)
      f.BdeVersion = FormatText("%lu.%lu.%lu.%lu", info->dwFileVersionMS >> 16, info->dwFileVersionMS & 0xFFFF,
                                info->dwFileVersionLS >> 16, info->dwFileVersionLS & 0xFFFF);
  });
  Guard([&] {
    char separator[8] = {};
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, sizeof separator) && separator[0])
      f.DecimalSeparator = separator[0];
  });
  f.CompiledWith = CompilerText();
  return f;
}

}  // namespace vm
