// An in-memory system for the crash settings: modules with resources, versions and texts,
// a fixed clock, shell folders, and a record of the internal-error boxes that would show.
// Installed for the lifetime of the object.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "crashreport/settings/CrashSettingsSystem.h"

namespace vm::test {

class TFakeCrashSystem final : public ICrashSystem {
public:
  struct TModule {
    std::string Path;
    std::optional<std::string> Resource;
    std::optional<std::string> Version;
    std::map<std::uintptr_t, std::string> Texts;  // VersionVar targets
  };

  TFakeCrashSystem() : FPrevious(SetCrashSystem(this)) {}
  ~TFakeCrashSystem() override { SetCrashSystem(FPrevious); }

  std::map<TModuleHandle, TModule> Modules;
  TModuleHandle Exe = 0x400000, Home = 0x400000;
  TLocalTime Clock{2026, 1, 5, 9, 7, 3, 45};
  std::map<int, std::string> Folders;
  std::vector<std::string> Errors;  // boxes shown
  int FolderLookups = 0;

  std::optional<std::string> SettingsResource(TModuleHandle m) override {
    auto it = Modules.find(m);
    return it == Modules.end() ? std::nullopt : it->second.Resource;
  }
  TModuleHandle ExeModule() override { return Exe; }
  TModuleHandle HomeModule() override { return Home; }
  std::vector<TModuleHandle> LoadedModules() override {
    std::vector<TModuleHandle> all;
    for (auto& [handle, module] : Modules) all.push_back(handle);  // a map is in address order
    return all;
  }
  std::string ModuleFileName(TModuleHandle m) override {
    auto it = Modules.find(m);
    return it == Modules.end() ? std::string() : it->second.Path;
  }
  std::optional<std::string> FileVersion(TModuleHandle m) override {
    auto it = Modules.find(m);
    return it == Modules.end() ? std::nullopt : it->second.Version;
  }
  std::string ModuleText(TModuleHandle m, std::uintptr_t offset) override {
    auto it = Modules.find(m);
    if (it == Modules.end() || !it->second.Texts.count(offset)) return {};
    return it->second.Texts[offset];
  }
  TLocalTime Now() override { return Clock; }
  std::string ShellFolder(int folder) override {
    ++FolderLookups;
    return Folders.count(folder) ? Folders[folder] : std::string();
  }
  void ShowInternalError(const std::string& text) override { Errors.push_back(text); }

private:
  ICrashSystem* FPrevious;
};

}  // namespace vm::test
