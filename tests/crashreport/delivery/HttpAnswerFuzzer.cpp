// Fuzzes the judging of upload answers and of a proxy's tunnel answers: any bytes, cut at any point, must be judged
// without a fault; a settled verdict must not change when more bytes arrive (a tunnel's success may: bytes after its
// answer fail it), and bytes that are complete are always settled.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "crashreport/delivery/HttpAnswer.h"

namespace {

void Check(vm::THttpVerdict (*judge)(std::string_view, bool), std::string_view all, size_t cut, bool successStays) {
  using vm::THttpVerdict;
  if (judge(all, true).Kind == THttpVerdict::TKind::NeedMore) std::abort();
  THttpVerdict early = judge(all.substr(0, cut), false);
  if (early.Kind == THttpVerdict::TKind::Failure || (successStays && early.Kind == THttpVerdict::TKind::Success)) {
    THttpVerdict later = judge(all, false);
    if (later.Kind != early.Kind || later.Status != early.Status) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view all(reinterpret_cast<const char*>(data), size);
  size_t cut = size ? data[0] % (size + 1) : 0;
  Check(vm::JudgeHttpAnswer, all, cut, true);
  Check(vm::JudgeConnectAnswer, all, cut, false);
  return 0;
}
