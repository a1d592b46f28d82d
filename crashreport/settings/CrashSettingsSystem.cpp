#include "crashreport/settings/CrashSettingsSystem.h"

#include <atomic>

namespace vm {

namespace {
std::atomic<ICrashSystem*> gInstalled{nullptr};
}

ICrashSystem& CrashSystem() {
  ICrashSystem* installed = gInstalled.load();
  return installed ? *installed : PlatformCrashSystem();
}

ICrashSystem* SetCrashSystem(ICrashSystem* system) { return gInstalled.exchange(system); }

}  // namespace vm
