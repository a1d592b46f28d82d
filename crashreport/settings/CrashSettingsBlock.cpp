#include "crashreport/settings/CrashSettingsBlock.h"

#include <utility>

#include "base/Text.h"

namespace vm {

std::string SettingsBlockName(unsigned long processId) {
  return "ZentrapixSettingsBuf$" + FormatText("%lx", processId);
}

std::string SettingsMutexName(unsigned long processId) {
  return "ZentrapixSettingsMtx$" + FormatText("%lx", processId);
}

TSettingsBlockRef::TSettingsBlockRef(TSettingsBlockRef&& other) noexcept
    : FBlock(std::exchange(other.FBlock, nullptr)) {}

TSettingsBlockRef& TSettingsBlockRef::operator=(TSettingsBlockRef&& other) noexcept {
  if (this != &other) {
    Close();
    FBlock = std::exchange(other.FBlock, nullptr);
  }
  return *this;
}

TSettingsBlockRef::~TSettingsBlockRef() { Close(); }

}  // namespace vm
