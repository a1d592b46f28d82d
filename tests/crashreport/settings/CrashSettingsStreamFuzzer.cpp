// Fuzzes the settings record parser: any bytes must parse without a fault, and what was
// parsed must come back unchanged when written out and parsed again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "crashreport/settings/CrashSettingsStream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vm;
  TSettingsParse parse = ParseSettingsStream(std::string_view(reinterpret_cast<const char*>(data), size));
  SettingsStreamError(parse);
  if (!parse.HasPrefix) return 0;
  TSettingsStreamWriter writer;
  for (int i = 0; i < parse.Properties.Count(); ++i) {
    const TCrashProperty& p = parse.Properties[i];
    if (p.Name.empty()) return 0;  // a zero-length name is the end mark; it cannot be parsed
    switch (p.Kind) {
      case TPropertyKind::Boolean:
        writer.Bool(p.Name, p.BoolValue);
        break;
      case TPropertyKind::Integer:
        writer.Int(p.Name, p.IntValue);
        break;
      case TPropertyKind::Text:
        writer.Text(p.Name, p.TextValue);
        break;
    }
  }
  TSettingsParse again = ParseSettingsStream(writer.Finish());
  if (again.BadType || again.Truncated || again.Properties.Count() != parse.Properties.Count()) std::abort();
  for (int i = 0; i < parse.Properties.Count(); ++i)
    if (!(again.Properties[i] == parse.Properties[i])) std::abort();
  return 0;
}
