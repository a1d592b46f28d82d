// Arbitrary bytes as an upload's bug-report file (and, split off, its screenshot): reading
// them must never crash, and whatever it accepts must have the facts the store relies on.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "server/Upload.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const size_t cut = bytes.find("\x89PNG");
  std::vector<vm::server::TFormPart> parts{{"BugReport", "bugreport.txt", bytes.substr(0, cut)}};
  if (cut != std::string::npos) parts.push_back({"ScreenShot", "screenshot.png", bytes.substr(cut)});
  auto read = vm::server::ReadUpload(parts);
  if (auto* upload = std::get_if<vm::server::TUpload>(&read)) {
    if (upload->Reports.empty()) std::abort();
    for (const auto& r : upload->Reports)
      if (r.GroupKey.empty() || r.Digest.size() != 64 || r.Count < 1 || r.Text.empty()) std::abort();
  }
  return 0;
}
