// Fuzzes the judging of upload answers: any bytes, cut at any point, must be judged without
// a fault; a settled verdict must not change when more bytes arrive, and bytes that are
// complete are always settled.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "crashreport/delivery/HttpAnswer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vm;
  std::string_view all(reinterpret_cast<const char*>(data), size);
  if (JudgeHttpAnswer(all, true).Kind == THttpVerdict::TKind::NeedMore) std::abort();
  size_t cut = size ? data[0] % (size + 1) : 0;
  THttpVerdict early = JudgeHttpAnswer(all.substr(0, cut), false);
  if (early.Kind != THttpVerdict::TKind::NeedMore) {
    THttpVerdict later = JudgeHttpAnswer(all, false);
    if (later.Kind != early.Kind || later.Status != early.Status) std::abort();
  }
  return 0;
}
