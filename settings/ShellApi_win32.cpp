// The shell seam over shell32, ole32 and kernel32.
#include <windows.h>

#include <shlobj.h>

#include "settings/ShellApi.h"

namespace vm {

namespace {

class TWin32ShellApi : public IShellApi {
public:
  bool SpecialFolderLocation(int csidl, void*& idList) override {
    LPITEMIDLIST list = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &list)) || !list) return false;
    idList = list;
    return true;
  }
  bool PathFromIDList(const void* idList, char* path) override {
    return SHGetPathFromIDListA(static_cast<LPCITEMIDLIST>(idList), path) != FALSE;
  }
  bool PathFromIDListUtf8(const void* idList, std::string& path) override {
    wchar_t wide[MAX_PATH] = {};
    if (!SHGetPathFromIDListW(static_cast<LPCITEMIDLIST>(idList), wide)) return false;
    int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return false;
    path.assign(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, path.data(), n, nullptr, nullptr);
    path.resize(size_t(n - 1));
    return true;
  }
  void FreeIDList(void* idList) override { CoTaskMemFree(idList); }
  unsigned WindowsDirectory(char* buffer, unsigned size) override { return GetWindowsDirectoryA(buffer, size); }
  unsigned SystemDirectory(char* buffer, unsigned size) override { return GetSystemDirectoryA(buffer, size); }
  void DebugTrace(const char* text) override { OutputDebugStringA(text); }
};

}  // namespace

IShellApi& PlatformShellApi() {
  static TWin32ShellApi api;
  return api;
}

}  // namespace vm
