#include <windows.h>
// After windows.h:
#include <psapi.h>
#include <shlobj.h>

#include <algorithm>

#include "base/FileIO.h"
#include "base/Text.h"
#include "crashreport/settings/CrashSettingsSystem.h"

namespace vm {

namespace {

HMODULE AsModule(TModuleHandle module) { return reinterpret_cast<HMODULE>(module); }
TModuleHandle AsHandle(HMODULE module) { return reinterpret_cast<TModuleHandle>(module); }

// True when `p` lies in committed, readable memory; `readableBytes` is how far that memory runs.
bool Readable(const char* p, size_t& readableBytes) {
  MEMORY_BASIC_INFORMATION info;
  if (VirtualQuery(p, &info, sizeof info) == 0 || info.State != MEM_COMMIT) return false;
  if (info.Protect & (PAGE_NOACCESS | PAGE_GUARD)) return false;
  readableBytes = size_t(static_cast<const char*>(info.BaseAddress) + info.RegionSize - p);
  return true;
}

class TWin32CrashSystem final : public ICrashSystem {
public:
  std::optional<std::string> SettingsResource(TModuleHandle module) override {
    HRSRC info = FindResourceA(AsModule(module), "TZENTRAPIX", MAKEINTRESOURCEA(10) /* RT_RCDATA */);
    if (!info) return std::nullopt;
    HGLOBAL data = LoadResource(AsModule(module), info);
    const void* bytes = data ? LockResource(data) : nullptr;
    if (!bytes) return std::nullopt;
    return std::string(static_cast<const char*>(bytes), SizeofResource(AsModule(module), info));
  }

  TModuleHandle ExeModule() override { return AsHandle(GetModuleHandleA(nullptr)); }

  TModuleHandle HomeModule() override {
    HMODULE home = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&PlatformCrashSystem), &home);
    return AsHandle(home);
  }

  std::vector<TModuleHandle> LoadedModules() override {
    std::vector<HMODULE> modules(64);
    DWORD needed = 0;
    for (;;) {
      DWORD bytes = DWORD(modules.size() * sizeof(HMODULE));
      if (!EnumProcessModules(GetCurrentProcess(), modules.data(), bytes, &needed)) return {};
      if (needed <= bytes) break;
      modules.resize(needed / sizeof(HMODULE));
    }
    modules.resize(needed / sizeof(HMODULE));
    std::vector<TModuleHandle> result;
    for (HMODULE m : modules) result.push_back(AsHandle(m));
    std::sort(result.begin(), result.end());
    return result;
  }

  std::string ModuleFileName(TModuleHandle module) override { return ModulePath(AsModule(module)); }

  std::optional<std::string> FileVersion(TModuleHandle module) override {
    std::string path = ModuleFileName(module);
    DWORD ignored = 0, size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) return std::nullopt;
    std::string block(size, '\0');
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data()) ||
        !VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedSize) || !fixed ||
        fixedSize < sizeof(VS_FIXEDFILEINFO))
      return std::nullopt;
    return FormatText("%lu.%lu.%lu.%lu", fixed->dwFileVersionMS >> 16, fixed->dwFileVersionMS & 0xFFFF,
                      fixed->dwFileVersionLS >> 16, fixed->dwFileVersionLS & 0xFFFF);
  }

  std::string ModuleText(TModuleHandle module, std::uintptr_t offset) override {
    MODULEINFO info{};
    if (!GetModuleInformation(GetCurrentProcess(), AsModule(module), &info, sizeof info)) return {};
    if (offset >= info.SizeOfImage) return {};
    // Read only inside the image and only committed pages: a bad offset gives an empty text.
    const char* p = reinterpret_cast<const char*>(module) + offset;
    const char* end = reinterpret_cast<const char*>(module) + info.SizeOfImage;
    std::string text;
    while (p < end) {
      size_t run = 0;
      if (!Readable(p, run)) return {};
      run = std::min<size_t>(run, size_t(end - p));
      const char* nul = static_cast<const char*>(memchr(p, 0, run));
      if (nul) return text.append(p, nul);
      text.append(p, run);
      p += run;
    }
    return {};  // no terminating NUL inside the image
  }

  TLocalTime Now() override {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
  }

  std::string ShellFolder(int folder) override {
    char path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathA(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
    return path;
  }

  void ShowInternalError(const std::string& text) override {
    MessageBoxA(nullptr, text.c_str(), "Zentrapix", MB_OK | MB_ICONERROR | MB_TASKMODAL);
  }
};

}  // namespace

ICrashSystem& PlatformCrashSystem() {
  static TWin32CrashSystem system;
  return system;
}

}  // namespace vm
