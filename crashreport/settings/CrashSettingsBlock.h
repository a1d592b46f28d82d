// The process-wide chain of module settings. Every module of the process that links the
// reporter keeps its own copy of this code, yet all of them must see one chain: it lives in
// a small named block of shared memory ("ZentrapixSettingsBuf$<pid>"), created under a named
// mutex and guarded by a critical section inside it (CrashSettingsBlock_win32.cpp). On the
// host one process-wide block stands in for it (CrashSettingsBlock_posix.cpp).
// Tests: tests/crashreport/settings/CrashSettingsTest.cpp, CrashSettingsSharedTest_win32.cpp.
#pragma once

#include <string>

#include "crashreport/settings/CrashSettingsStream.h"
#include "crashreport/settings/CrashSettingsSystem.h"

namespace vm {

// One module's parsed record. Nodes are shared by every module of the process, so all of
// them must be built with the same compiler and run-time library (they share one heap).
struct TModuleSettings {
  TModuleSettings* Next = nullptr;
  TModuleHandle Module = 0;
  long RefCount = 0;
  TCrashPropertyList Properties;
};

// The shared block's names for a process id: "ZentrapixSettingsBuf$1a2b" and the mutex's.
std::string SettingsBlockName(unsigned long processId);
std::string SettingsMutexName(unsigned long processId);

// One reference to the process's block; the last reference of the process frees it.
class TSettingsBlockRef {
public:
  // Creates or opens the block; an empty reference when it can be neither.
  static TSettingsBlockRef Open();
  TSettingsBlockRef() = default;
  TSettingsBlockRef(TSettingsBlockRef&& other) noexcept;
  TSettingsBlockRef& operator=(TSettingsBlockRef&& other) noexcept;
  TSettingsBlockRef(const TSettingsBlockRef&) = delete;
  TSettingsBlockRef& operator=(const TSettingsBlockRef&) = delete;
  ~TSettingsBlockRef();

  // The block's layout, per platform.
  struct TBlock;

  explicit operator bool() const { return FBlock != nullptr; }
  void Lock();
  void Unlock();
  TModuleSettings*& Head();
  // The module that registered itself as the settings provider of the process, or 0.
  TModuleHandle& Provider();

private:
  void Close();
  TBlock* FBlock = nullptr;
};

class TSettingsBlockLock {
public:
  explicit TSettingsBlockLock(TSettingsBlockRef& block) : FBlock(block) { FBlock.Lock(); }
  ~TSettingsBlockLock() { FBlock.Unlock(); }
  TSettingsBlockLock(const TSettingsBlockLock&) = delete;
  TSettingsBlockLock& operator=(const TSettingsBlockLock&) = delete;

private:
  TSettingsBlockRef& FBlock;
};

}  // namespace vm
