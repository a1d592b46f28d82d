#include "crashreport/settings/CrashSettingsStream.h"

#include <stdexcept>
#include <utility>

#include "base/AnsiText.h"
#include "base/Text.h"

namespace vm {

const std::string_view kSettingsStreamPrefix{"TPF0\x0aTZentrapix\x09Zentrapix", 25};

namespace {

// The list starts with room for the whole shipped record and grows by small steps.
constexpr size_t kInitialCapacity = 131;
constexpr size_t kGrowth = 20;

// Reads from the stream without ever passing its end: every read says whether it could.
class TStreamReader {
public:
  explicit TStreamReader(std::string_view bytes) : FBytes(bytes) {}

  size_t Left() const { return FBytes.size() - FPos; }
  bool Byte(std::uint8_t& b) {
    if (Left() < 1) return false;
    b = std::uint8_t(FBytes[FPos++]);
    return true;
  }
  bool Bytes(size_t n, std::string_view& out) {
    if (Left() < n) return false;
    out = FBytes.substr(FPos, n);
    FPos += n;
    return true;
  }
  bool LittleEndian(int size, std::uint32_t& value) {
    std::string_view raw;
    if (!Bytes(size_t(size), raw)) return false;
    value = 0;
    for (int i = size - 1; i >= 0; --i) value = (value << 8) | std::uint8_t(raw[size_t(i)]);
    return true;
  }
  bool ShortString(std::string& out) {
    std::uint8_t len;
    std::string_view raw;
    if (!Byte(len) || !Bytes(len, raw)) return false;
    out.assign(raw);
    return true;
  }

private:
  std::string_view FBytes;
  size_t FPos = 0;
};

enum class TValueRead { Ok, Truncated, BadType };

TValueRead ReadValue(TStreamReader& in, std::uint8_t type, TCrashProperty& p) {
  std::uint32_t n = 0;
  std::string_view raw;
  switch (TStreamValueType(type)) {
    case TStreamValueType::Int8:
    case TStreamValueType::Int16:
    case TStreamValueType::Int32: {
      int size = type == 2 ? 1 : type == 3 ? 2 : 4;
      if (!in.LittleEndian(size, n)) return TValueRead::Truncated;
      p.Kind = TPropertyKind::Integer;
      // Sign-extend from the stored width.
      int shift = 32 - 8 * size;
      p.IntValue = std::int32_t(n << shift) >> shift;
      return TValueRead::Ok;
    }
    case TStreamValueType::False:
    case TStreamValueType::True:
      p.Kind = TPropertyKind::Boolean;
      p.BoolValue = type == 9;
      return TValueRead::Ok;
    case TStreamValueType::ShortText:
      p.Kind = TPropertyKind::Text;
      return in.ShortString(p.TextValue) ? TValueRead::Ok : TValueRead::Truncated;
    case TStreamValueType::LongText:
      // The length is checked against what is left before anything is allocated.
      if (!in.LittleEndian(4, n) || !in.Bytes(n, raw)) return TValueRead::Truncated;
      p.Kind = TPropertyKind::Text;
      p.TextValue.assign(raw);
      return TValueRead::Ok;
    case TStreamValueType::WideText: {
      if (!in.LittleEndian(4, n) || in.Left() / 2 < n || !in.Bytes(size_t(n) * 2, raw)) return TValueRead::Truncated;
      std::u16string units(n, u'\0');
      for (size_t i = 0; i < n; ++i)
        units[i] = char16_t(std::uint8_t(raw[2 * i]) | (std::uint8_t(raw[2 * i + 1]) << 8));
      p.Kind = TPropertyKind::Text;
      p.TextValue = WideToAnsi(units);
      return TValueRead::Ok;
    }
  }
  return TValueRead::BadType;
}

}  // namespace

TCrashPropertyList::TCrashPropertyList() { FItems.reserve(kInitialCapacity); }

const TCrashProperty* TCrashPropertyList::Find(std::string_view name) const {
  for (const TCrashProperty& p : FItems)
    if (p.Name == name) return &p;
  return nullptr;
}

TCrashProperty* TCrashPropertyList::Find(std::string_view name) {
  return const_cast<TCrashProperty*>(std::as_const(*this).Find(name));
}

void TCrashPropertyList::Add(TCrashProperty property) {
  if (FItems.size() == FItems.capacity()) FItems.reserve(FItems.size() + kGrowth);
  FItems.push_back(std::move(property));
}

TSettingsParse ParseSettingsStream(std::string_view bytes) { return ParseFormStream(bytes, kSettingsStreamPrefix); }

std::string FormStreamPrefix(std::string_view className, std::string_view objectName) {
  return "TPF0" + std::string(1, char(className.size())) + std::string(className) +
         std::string(1, char(objectName.size())) + std::string(objectName);
}

TSettingsParse ParseFormStream(std::string_view bytes, std::string_view prefix) {
  TSettingsParse result;
  if (bytes.substr(0, prefix.size()) != prefix) return result;
  result.HasPrefix = true;
  TStreamReader in(bytes.substr(prefix.size()));
  for (;;) {
    std::uint8_t nameLength, type;
    if (!in.Byte(nameLength)) break;
    if (nameLength == 0) return result;  // the end mark
    TCrashProperty p;
    std::string_view name;
    if (!in.Bytes(nameLength, name) || !in.Byte(type)) break;
    p.Name.assign(name);
    TValueRead read = ReadValue(in, type, p);
    if (read == TValueRead::BadType) {
      result.BadType = type;
      return result;
    }
    if (read == TValueRead::Truncated) break;
    result.Properties.Add(std::move(p));
  }
  result.Truncated = true;
  return result;
}

std::string SettingsStreamError(const TSettingsParse& parse) {
  if (parse.BadType)
    return "Internal error: Invalid settings resource ($" + LowerCase(IntToHex(*parse.BadType, 2)) + ").";
  if (parse.Truncated) return "Internal error: Invalid settings resource (truncated).";
  return {};
}

TSettingsStreamWriter::TSettingsStreamWriter() : FBytes(kSettingsStreamPrefix) {}
TSettingsStreamWriter::TSettingsStreamWriter(std::string_view prefix) : FBytes(prefix) {}

void TSettingsStreamWriter::Name(std::string_view name) {
  if (name.empty() || name.size() > 255) throw std::length_error("property name must have 1 to 255 characters");
  FBytes += char(name.size());
  FBytes += name;
}

static void AppendLittleEndian(std::string& out, std::uint32_t value, int size) {
  for (int i = 0; i < size; ++i) out += char((value >> (8 * i)) & 0xFF);
}

TSettingsStreamWriter& TSettingsStreamWriter::Bool(std::string_view name, bool value) {
  Name(name);
  FBytes += char(value ? TStreamValueType::True : TStreamValueType::False);
  return *this;
}

TSettingsStreamWriter& TSettingsStreamWriter::Int(std::string_view name, std::int32_t value) {
  Name(name);
  if (value >= -128 && value <= 127) {
    FBytes += char(TStreamValueType::Int8);
    AppendLittleEndian(FBytes, std::uint32_t(value), 1);
  } else if (value >= -32768 && value <= 32767) {
    FBytes += char(TStreamValueType::Int16);
    AppendLittleEndian(FBytes, std::uint32_t(value), 2);
  } else {
    FBytes += char(TStreamValueType::Int32);
    AppendLittleEndian(FBytes, std::uint32_t(value), 4);
  }
  return *this;
}

TSettingsStreamWriter& TSettingsStreamWriter::Text(std::string_view name, std::string_view value) {
  Name(name);
  if (value.size() <= 255) {
    FBytes += char(TStreamValueType::ShortText);
    FBytes += char(value.size());
  } else {
    FBytes += char(TStreamValueType::LongText);
    AppendLittleEndian(FBytes, std::uint32_t(value.size()), 4);
  }
  FBytes += value;
  return *this;
}

TSettingsStreamWriter& TSettingsStreamWriter::WideText(std::string_view name, const std::u16string& value) {
  Name(name);
  FBytes += char(TStreamValueType::WideText);
  AppendLittleEndian(FBytes, std::uint32_t(value.size()), 4);
  for (char16_t unit : value) AppendLittleEndian(FBytes, unit, 2);
  return *this;
}

TSettingsStreamWriter& TSettingsStreamWriter::Raw(std::string_view name, std::uint8_t type, std::string_view value) {
  Name(name);
  FBytes += char(type);
  FBytes += value;
  return *this;
}

}  // namespace vm
