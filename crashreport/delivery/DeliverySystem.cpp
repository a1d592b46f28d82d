#include "crashreport/delivery/DeliverySystem.h"

#include <atomic>

namespace vm {

namespace {
std::atomic<IDeliverySystem*> installed{nullptr};
}

IDeliverySystem& DeliverySystem() {
  IDeliverySystem* s = installed.load();
  return s ? *s : PlatformDeliverySystem();
}

IDeliverySystem* SetDeliverySystem(IDeliverySystem* system) { return installed.exchange(system); }

}  // namespace vm

namespace vm {

namespace {
std::atomic<IProgressBox*> progressBox{nullptr};
}

IProgressBox* InstalledProgressBox() { return progressBox.load(); }
IProgressBox* SetProgressBox(IProgressBox* box) { return progressBox.exchange(box); }

}  // namespace vm
