// What the crash settings need from the operating system, behind one narrow interface:
// the modules of the process and their resources and versions, the clock, the shell's
// folders, and the box that reports an internal error. The Windows side is
// CrashSettingsSystem_win32.cpp; host tests install an in-memory one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vm {

// A module's load address (HMODULE) as a number, so that portable code can hold one.
using TModuleHandle = std::uintptr_t;

struct TLocalTime {
  int Year = 0, Month = 0, Day = 0;
  int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};

// Shell folder numbers used by the placeholders.
constexpr int kFolderAppData = 26;        // the user's application data
constexpr int kFolderCommonAppData = 35;  // the all-users application data

class ICrashSystem {
public:
  virtual ~ICrashSystem() = default;

  // The bytes of the module's RCDATA resource "TZENTRAPIX", or nothing when it has none.
  virtual std::optional<std::string> SettingsResource(TModuleHandle module) = 0;
  virtual TModuleHandle ExeModule() = 0;
  // The module that contains the reporter's own code.
  virtual TModuleHandle HomeModule() = 0;
  // Every loaded module of the process, in address order.
  virtual std::vector<TModuleHandle> LoadedModules() = 0;
  virtual std::string ModuleFileName(TModuleHandle module) = 0;  // full path
  // The file version as four dot-separated numbers, or nothing without a version resource.
  virtual std::optional<std::string> FileVersion(TModuleHandle module) = 0;
  // The NUL-terminated text at `offset` from the module's load address; empty when the
  // offset lies outside the module's image.
  virtual std::string ModuleText(TModuleHandle module, std::uintptr_t offset) = 0;
  virtual TLocalTime Now() = 0;
  // The shell's path of the folder (kFolder...), or empty.
  virtual std::string ShellFolder(int folder) = 0;
  // The reporter's own error box, captioned "Zentrapix".
  virtual void ShowInternalError(const std::string& text) = 0;
};

// The system in use: the platform's own unless a test has installed another.
ICrashSystem& CrashSystem();
// Installs `system` (nullptr: the platform's own again) and returns the previous one.
ICrashSystem* SetCrashSystem(ICrashSystem* system);
ICrashSystem& PlatformCrashSystem();

}  // namespace vm
