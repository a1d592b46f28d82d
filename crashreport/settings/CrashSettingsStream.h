// The crash settings record in its stored form: a form stream of typed properties.
// Entry points: ParseSettingsStream (bytes -> properties) and the TSettingsStreamWriter
// that tests and tools use to build streams. Tests: tests/crashreport/settings/CrashSettingsStreamTest.cpp,
// fuzzer: tests/crashreport/settings/CrashSettingsStreamFuzzer.cpp.
//
// Layout:
//   "TPF0" | 10 "TZentrapix" | 9 "Zentrapix"        fixed 25-byte prefix
//   { len name | type | value }*  0                  properties up to a zero byte
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vm {

// The value types of the stream; any other byte ends the record as invalid.
enum class TStreamValueType : std::uint8_t {
  Int8 = 2,       // 1 signed byte
  Int16 = 3,      // 2-byte signed little-endian
  Int32 = 4,      // 4-byte signed little-endian
  ShortText = 6,  // 1 length byte, then 8-bit text
  False = 8,      // no value
  True = 9,       // no value
  LongText = 12,  // 4-byte little-endian length, then 8-bit text
  WideText = 18,  // 4-byte little-endian count of UTF-16 units, then the units
};

enum class TPropertyKind { Text = 0, Integer = 1, Boolean = 2 };

// One parsed property. Only the field of its own kind is set; a read of another kind
// reads the other field, which stays at false, 0 or empty.
struct TCrashProperty {
  std::string Name;
  TPropertyKind Kind = TPropertyKind::Text;
  bool BoolValue = false;
  std::int32_t IntValue = 0;
  std::string TextValue;

  bool operator==(const TCrashProperty&) const = default;
};

// A module's properties in stream order. Lookups match the name exactly (case counts),
// and the first property of a name wins.
class TCrashPropertyList {
public:
  TCrashPropertyList();

  int Count() const { return int(FItems.size()); }
  const TCrashProperty& operator[](int index) const { return FItems.at(size_t(index)); }
  const TCrashProperty* Find(std::string_view name) const;
  TCrashProperty* Find(std::string_view name);
  void Add(TCrashProperty property);
  void Clear() { FItems.clear(); }

private:
  std::vector<TCrashProperty> FItems;
};

// What a stream held. A stream without the exact prefix carries no settings. Parsing stops
// at a bad type byte or at truncated data; the properties before that point stay.
struct TSettingsParse {
  TCrashPropertyList Properties;
  bool HasPrefix = false;
  std::optional<std::uint8_t> BadType;  // the type byte that stopped parsing
  bool Truncated = false;               // the bytes ended inside a property or before the end mark
};

TSettingsParse ParseSettingsStream(std::string_view bytes);
// The same layout under another prefix: "TPF0", then a class and an object name as short
// strings (the assistant pages are stored this way).
std::string FormStreamPrefix(std::string_view className, std::string_view objectName);
TSettingsParse ParseFormStream(std::string_view bytes, std::string_view prefix);

// The message for a record that did not parse cleanly, or empty when it did.
std::string SettingsStreamError(const TSettingsParse& parse);

// Builds a stream; the writer picks the shortest integer form, as the form writer does.
class TSettingsStreamWriter {
public:
  TSettingsStreamWriter();
  explicit TSettingsStreamWriter(std::string_view prefix);
  TSettingsStreamWriter& Bool(std::string_view name, bool value);
  TSettingsStreamWriter& Int(std::string_view name, std::int32_t value);
  TSettingsStreamWriter& Text(std::string_view name, std::string_view value);  // type 6 or 12
  TSettingsStreamWriter& WideText(std::string_view name, const std::u16string& value);
  // A raw property: name, type byte and value bytes as given (for malformed streams in tests).
  TSettingsStreamWriter& Raw(std::string_view name, std::uint8_t type, std::string_view value);
  std::string Finish() const { return FBytes + '\0'; }
  const std::string& Unfinished() const { return FBytes; }

private:
  void Name(std::string_view name);
  std::string FBytes;
};

extern const std::string_view kSettingsStreamPrefix;

}  // namespace vm
