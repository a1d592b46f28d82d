#include "crashreport/delivery/DeliverySystem.h"

#include <atomic>

#include "base/FileIO.h"

namespace vm {

namespace {
std::atomic<IDeliverySystem*> installed{nullptr};
}

IDeliverySystem& DeliverySystem() {
  IDeliverySystem* s = installed.load();
  return s ? *s : PlatformDeliverySystem();
}

IDeliverySystem* SetDeliverySystem(IDeliverySystem* system) { return installed.exchange(system); }

std::string ReporterFolderName(const std::string& programPath) {
  std::string name = FileNameOf(programPath);
  if (name.empty()) name = "program";
  if (size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0) name.resize(dot);
  return name + ".Zentrapix";
}

}  // namespace vm

namespace vm {

namespace {
std::atomic<IProgressBox*> progressBox{nullptr};
}

IProgressBox* InstalledProgressBox() { return progressBox.load(); }
IProgressBox* SetProgressBox(IProgressBox* box) { return progressBox.exchange(box); }

}  // namespace vm
