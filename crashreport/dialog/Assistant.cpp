#include "crashreport/dialog/Assistant.h"

namespace vm {

namespace {

bool AddressChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '\'' || c == '+' ||
         c == '-' || c == '_';
}

}  // namespace

bool ValidEmailAddress(std::string_view address) {
  if (address.empty() || address.front() == ' ' || address.back() == ' ') return false;
  if (address.front() == '.' || address.back() == '.') return false;
  size_t at = address.rfind('@');
  if (at == std::string_view::npos || at == 0) return false;
  if (at + 1 >= address.size() || address[at + 1] == '.') return false;
  if (address.find('.', at + 1) == std::string_view::npos) return false;
  int ats = 0;
  for (char c : address) {
    if (c == '@') ++ats;
    else if (c != '.' && !AddressChar(c)) return false;
  }
  return ats == 1;
}

}  // namespace vm
