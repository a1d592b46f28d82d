#include <windows.h>

#include "crashreport/settings/CrashSettingsStream.h"

namespace vm {

std::string Utf16ToAnsi(const std::u16string& units) {
  if (units.empty()) return {};
  const auto* wide = reinterpret_cast<const wchar_t*>(units.data());
  int n = WideCharToMultiByte(CP_ACP, 0, wide, int(units.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(size_t(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide, int(units.size()), out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace vm
