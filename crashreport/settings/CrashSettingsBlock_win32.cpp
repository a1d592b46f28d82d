// The shared block in named shared memory. Each reference maps a view of its own; the
// critical section lives in the shared memory, so every view locks the same one. Opening
// and closing run under the named mutex, which keeps the reference count and the block's
// creation and release in step between the modules.
#include <windows.h>

#include "base/Handles_win32.h"
#include "crashreport/settings/CrashSettingsBlock.h"

namespace vm {

struct TSettingsBlockRef::TBlock {
  LONG RefCount;
  HANDLE Mapping;  // the creator's handle, closed by the last reference
  CRITICAL_SECTION Guard;
  TModuleSettings* Head;
  TModuleHandle Provider;
};
// 40 bytes in the 32-bit program, as every module of the process expects.
static_assert(sizeof(void*) != 4 || sizeof(TSettingsBlockRef::TBlock) == 40);

namespace {

// Holds the named mutex for one opening or closing; modules only hold it for a few calls.
class TBlockMutex {
public:
  TBlockMutex() : FMutex(CreateMutexA(nullptr, FALSE, SettingsMutexName(GetCurrentProcessId()).c_str())) {
    if (FMutex) {
      DWORD wait = WaitForSingleObject(FMutex.get(), 10000);
      FOwned = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    }
  }
  ~TBlockMutex() {
    if (FOwned) ReleaseMutex(FMutex.get());
  }
  bool Owned() const { return FOwned; }

private:
  KernelHandle FMutex;
  bool FOwned = false;
};

struct ViewTraits {
  static void* Invalid() { return nullptr; }
  static void Close(void* view) { UnmapViewOfFile(view); }
};
using MappedView = UniqueHandle<void*, ViewTraits>;

}  // namespace

TSettingsBlockRef TSettingsBlockRef::Open() {
  TBlockMutex mutex;
  if (!mutex.Owned()) return {};
  std::string name = SettingsBlockName(GetCurrentProcessId());
  KernelHandle mapping(
      CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(TBlock), name.c_str()));
  if (!mapping) return {};
  bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
  MappedView view(MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(TBlock)));
  if (!view) return {};
  auto* block = static_cast<TBlock*>(view.get());
  if (!existed || block->RefCount == 0) {
    block->RefCount = 1;
    block->Mapping = mapping.release();
    InitializeCriticalSection(&block->Guard);
    block->Head = nullptr;
    block->Provider = 0;
  } else {
    ++block->RefCount;  // our own mapping handle closes here; the view keeps the block
  }
  TSettingsBlockRef ref;
  ref.FBlock = static_cast<TBlock*>(view.release());
  return ref;
}

void TSettingsBlockRef::Close() {
  if (!FBlock) return;
  TBlockMutex mutex;  // closing without it would be worse than a late close: go on regardless
  MappedView view(FBlock);
  if (--FBlock->RefCount == 0) {
    DeleteCriticalSection(&FBlock->Guard);
    KernelHandle mapping(FBlock->Mapping);
    view.reset();
  }
  FBlock = nullptr;
}

void TSettingsBlockRef::Lock() { EnterCriticalSection(&FBlock->Guard); }
void TSettingsBlockRef::Unlock() { LeaveCriticalSection(&FBlock->Guard); }
TModuleSettings*& TSettingsBlockRef::Head() { return FBlock->Head; }
TModuleHandle& TSettingsBlockRef::Provider() { return FBlock->Provider; }

}  // namespace vm
