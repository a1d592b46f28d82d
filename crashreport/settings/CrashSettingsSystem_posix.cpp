// Host side of the system seam: the host program carries no settings resource, so its
// settings read the built-in defaults; internal errors go to standard error.
#include <chrono>
#include <cstdio>
#include <ctime>

#include "base/FileIO.h"
#include "crashreport/settings/CrashSettingsSystem.h"

namespace vm {

namespace {

class THostCrashSystem final : public ICrashSystem {
public:
  std::optional<std::string> SettingsResource(TModuleHandle) override { return std::nullopt; }
  TModuleHandle ExeModule() override { return 1; }
  TModuleHandle HomeModule() override { return 1; }
  std::vector<TModuleHandle> LoadedModules() override { return {1}; }
  std::string ModuleFileName(TModuleHandle) override { return ProgramPath(); }
  std::optional<std::string> FileVersion(TModuleHandle) override { return std::nullopt; }
  std::string ModuleText(TModuleHandle, std::uintptr_t) override { return {}; }
  TLocalTime Now() override {
    auto now = std::chrono::system_clock::now();
    std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm tm{};
    localtime_r(&seconds, &tm);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, int(ms)};
  }
  std::string ShellFolder(int) override { return {}; }
  void ShowInternalError(const std::string& text) override { std::fprintf(stderr, "Zentrapix: %s\n", text.c_str()); }
};

}  // namespace

ICrashSystem& PlatformCrashSystem() {
  static THostCrashSystem system;
  return system;
}

}  // namespace vm
