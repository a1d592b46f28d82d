#include "settings/ShellApi.h"

namespace vm {

namespace {
IShellApi* gShellApi = nullptr;
}

IShellApi& ShellApi() { return gShellApi ? *gShellApi : PlatformShellApi(); }

TUseShellApi::TUseShellApi(IShellApi& api) : FPrevious(gShellApi) { gShellApi = &api; }

TUseShellApi::~TUseShellApi() { gShellApi = FPrevious; }

}  // namespace vm
