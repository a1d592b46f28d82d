#include <windows.h>

#include "about/AnsiText.h"

namespace vm {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 units");

std::string WideToAnsi(std::u16string_view text) {
  if (text.empty()) return std::string();
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  int length = int(text.size());
  int needed = WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return std::string();
  std::string result(size_t(needed), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide, length, result.data(), needed, nullptr, nullptr);
  return result;
}

}  // namespace vm
