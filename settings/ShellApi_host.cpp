// The host has no shell: every folder is unknown, as on a system without the functions.
#include "settings/ShellApi.h"

namespace vm {

namespace {

class THostShellApi : public IShellApi {
public:
  bool SpecialFolderLocation(int, void*&) override { return false; }
  bool PathFromIDList(const void*, char*) override { return false; }
  void FreeIDList(void*) override {}
  unsigned WindowsDirectory(char*, unsigned) override { return 0; }
  unsigned SystemDirectory(char*, unsigned) override { return 0; }
  void DebugTrace(const char*) override {}
};

}  // namespace

IShellApi& PlatformShellApi() {
  static THostShellApi api;
  return api;
}

}  // namespace vm
