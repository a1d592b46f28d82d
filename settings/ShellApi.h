// The shell seam: the few shell and kernel calls behind the special-folder lookups, so
// that their fallbacks can be tested on the host. ShellApi_win32.cpp forwards to shell32,
// ole32 and kernel32; host builds get a shell that knows no folder.
#pragma once

#include <string>

namespace vm {

class IShellApi {
public:
  virtual ~IShellApi() = default;

  // SHGetSpecialFolderLocation without an owner window: the folder's item-identifier list.
  virtual bool SpecialFolderLocation(int csidl, void*& idList) = 0;
  // SHGetPathFromIDListA into a buffer of kMaxPath bytes.
  virtual bool PathFromIDList(const void* idList, char* path) = 0;
  // SHGetPathFromIDListW, in UTF-8: the name even where the ANSI code page cannot spell it.
  // Shells without it give the ANSI name, which is the same for ASCII names.
  virtual bool PathFromIDListUtf8(const void* idList, std::string& path) {
    char buffer[kMaxPath] = {};
    if (!PathFromIDList(idList, buffer)) return false;
    path.assign(buffer);
    return true;
  }
  // CoTaskMemFree of an identifier list.
  virtual void FreeIDList(void* idList) = 0;
  // GetWindowsDirectoryA and GetSystemDirectoryA: the length written, 0 on failure.
  virtual unsigned WindowsDirectory(char* buffer, unsigned size) = 0;
  virtual unsigned SystemDirectory(char* buffer, unsigned size) = 0;
  // OutputDebugStringA.
  virtual void DebugTrace(const char* text) = 0;

  static constexpr unsigned kMaxPath = 261;
};

IShellApi& ShellApi();
IShellApi& PlatformShellApi();

class TUseShellApi {
public:
  explicit TUseShellApi(IShellApi& api);
  ~TUseShellApi();
  TUseShellApi(const TUseShellApi&) = delete;
  TUseShellApi& operator=(const TUseShellApi&) = delete;

private:
  IShellApi* FPrevious;
};

}  // namespace vm
