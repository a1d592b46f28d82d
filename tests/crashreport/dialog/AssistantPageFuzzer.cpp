// Fuzzes the assistant page parser: any bytes after the page's prefix must give a page that
// still has its three buttons, and an error text exactly when parsing stopped early.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "crashreport/dialog/AssistantPages.h"
#include "crashreport/settings/CrashSettingsStream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vm;
  std::string bytes = FormStreamPrefix("TCrashContactForm", "ContactForm");
  bytes.append(reinterpret_cast<const char*>(data), size);
  TAssistantPageParse parse = ParseAssistantPage(bytes, "ContactForm");
  TSettingsParse raw = ParseFormStream(bytes, FormStreamPrefix("TCrashContactForm", "ContactForm"));
  if (!parse.Found || parse.Form.Items.size() < 3) std::abort();
  if (parse.Form.ContinueBtn().Name != "ContinueBtn" || parse.Form.CancelBtn().Name != "CancelBtn") std::abort();
  if (parse.Error.empty() != !(raw.BadType || raw.Truncated)) std::abort();
  for (const auto& item : parse.Form.Items)
    if (auto* edit = dynamic_cast<const TNVEdit*>(item.get()); edit && edit->Lines < 1) std::abort();
  return 0;
}
