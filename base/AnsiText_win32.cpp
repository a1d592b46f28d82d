#include <windows.h>

#include "base/AnsiText.h"

namespace vm {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 units");

namespace {

std::u16string Widen(std::string_view text, UINT codePage) {
  int n = text.empty() ? 0 : MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), nullptr, 0);
  std::u16string wide(size_t(n > 0 ? n : 0), u'\0');
  if (n > 0)
    MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), reinterpret_cast<wchar_t*>(wide.data()), n);
  return wide;
}

}  // namespace

std::string WideToAnsi(std::u16string_view text) {
  if (text.empty()) return std::string();
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int length = int(text.size());
  int needed = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return std::string();
  std::string result(size_t(needed), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, length, result.data(), needed, nullptr, nullptr);
  return result;
}

std::string Utf8ToAnsi(std::u8string_view text) {
  return WideToAnsi(Widen(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()), CP_UTF8));
}

std::u16string AnsiToWide(std::string_view text) { return Widen(text, CP_ACP); }

}  // namespace vm
