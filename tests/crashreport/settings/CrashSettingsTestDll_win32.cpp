// A second module for the shared-chain tests: it links its own copy of the settings code
// and carries a record of its own (data/TestDll.settings).
#include <windows.h>

#include <cstdint>

#include "crashreport/settings/CrashSettings.h"

using vm::TICrashSettings;

extern "C" {

__declspec(dllexport) void* CrashTestDll_Open(std::uintptr_t module) { return new TICrashSettings(module); }

__declspec(dllexport) void CrashTestDll_Close(void* settings) { delete static_cast<TICrashSettings*>(settings); }

__declspec(dllexport) int CrashTestDll_ReadInt(void* settings, const char* key) {
  return static_cast<TICrashSettings*>(settings)->ReadInt(key);
}

// Modules in the chain as this module's own view of the shared block sees it; -1 without a block.
__declspec(dllexport) int CrashTestDll_ChainLength() {
  vm::TSettingsBlockRef block = vm::TSettingsBlockRef::Open();
  if (!block) return -1;
  vm::TSettingsBlockLock lock(block);
  int n = 0;
  for (vm::TModuleSettings* m = block.Head(); m; m = m->Next) ++n;
  return n;
}

__declspec(dllexport) std::uintptr_t CrashTestDll_Home() { return vm::PlatformCrashSystem().HomeModule(); }

__declspec(dllexport) std::uintptr_t CrashTestDll_SettingsModuleFor(std::uintptr_t module) {
  return vm::SettingsForModule(module)->Module();
}
}
