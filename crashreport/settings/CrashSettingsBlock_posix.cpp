// Host stand-in for the shared block: one block per process, counted like the real one.
#include <mutex>

#include "crashreport/settings/CrashSettingsBlock.h"

namespace vm {

struct TSettingsBlockRef::TBlock {
  long RefCount = 0;
  std::recursive_mutex Guard;
  TModuleSettings* Head = nullptr;
  TModuleHandle Provider = 0;
};

namespace {
std::mutex gOpenMutex;  // plays the named mutex
TSettingsBlockRef::TBlock* gBlock = nullptr;
}  // namespace

TSettingsBlockRef TSettingsBlockRef::Open() {
  std::lock_guard<std::mutex> lock(gOpenMutex);
  if (!gBlock) gBlock = new TBlock;
  ++gBlock->RefCount;
  TSettingsBlockRef ref;
  ref.FBlock = gBlock;
  return ref;
}

void TSettingsBlockRef::Close() {
  if (!FBlock) return;
  std::lock_guard<std::mutex> lock(gOpenMutex);
  if (--FBlock->RefCount == 0) {
    delete FBlock;
    gBlock = nullptr;
  }
  FBlock = nullptr;
}

void TSettingsBlockRef::Lock() { FBlock->Guard.lock(); }
void TSettingsBlockRef::Unlock() { FBlock->Guard.unlock(); }
TModuleSettings*& TSettingsBlockRef::Head() { return FBlock->Head; }
TModuleHandle& TSettingsBlockRef::Provider() { return FBlock->Provider; }

}  // namespace vm
