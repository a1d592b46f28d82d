// The update file's rules over bytes from the network. The signature check is a stand-in
// that takes any signature, so that every byte reaches the parsing behind it. Nothing may
// crash, a split file must be made of the text it came from, a trusted file must be for
// this product, and the version order must be an order.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "about/UpdateRules.h"

namespace {

int PlainOrder(const std::string& a, const std::string& b) { return a.compare(b) < 0 ? -1 : a.compare(b) > 0; }
int Sign(int order) { return (order > 0) - (order < 0); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const std::string file(reinterpret_cast<const char*>(data), size);
  vm::TSignedText parts;
  if (vm::SplitSignedText(file, parts)) {
    const size_t line = parts.Body.size() + std::string(vm::kFileSignatureKey).size() + 1;
    if (file.compare(0, parts.Body.size(), parts.Body) != 0 || line + parts.SignatureHex.size() > file.size())
      std::abort();
  }
  vm::TUpdateJudge judge{{"key", ""},
                         [](const std::string&, const std::string&, const std::string&) { return true; },
                         "Demo",
                         {"1.0", "2026-01-01"},
                         PlainOrder};
  vm::TStringList info;
  if (vm::JudgeUpdateFile(file, judge, info) == vm::TUpdateTrust::Trusted) {
    vm::TReleaseFacts facts;
    if (info.Values("Product").size() != 4) std::abort();
    if (info.IndexOfName("URL") >= 0 && !vm::ReadReleaseFacts(info, facts)) std::abort();
  }
  const size_t half = size / 2;
  const std::string a = file.substr(0, half), b = file.substr(half);
  if (Sign(vm::CompareVersions(a, b, PlainOrder)) != -Sign(vm::CompareVersions(b, a, PlainOrder))) std::abort();
  vm::IsPlainFileName(a);
  vm::IsProgramName(b);
  return 0;
}
