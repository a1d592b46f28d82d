// The crash reporter's settings object: one module's record read with the lookup order,
// the built-in defaults and placeholder expansion, plus the lists derived from it.
// Entry points: TICrashSettings and SettingsForModule. Tests: tests/crashreport/settings/CrashSettingsTest.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "crashreport/settings/CrashFields.h"
#include "crashreport/settings/CrashSettingsBlock.h"
#include "crashreport/settings/CrashSettingsKeys.h"

namespace vm {

// A further file to send with a report.
struct TCrashAttachment {
  std::string Path, SendAs, FieldName, ArchiveName;
  bool operator==(const TCrashAttachment&) const = default;
};

class ICrashSettings {
public:
  virtual ~ICrashSettings() = default;

  // False when the module carries no settings record: reads give the defaults, writes fail.
  virtual bool Valid() const = 0;
  virtual TModuleHandle Module() const = 0;

  // Reads by key (case counts). A key found nowhere reads as false, 0 or empty; a property
  // of another kind reads as the empty value of the kind asked for. Texts come back with
  // their placeholders expanded, "%exceptMsg%" and "%bugReport%" left in place.
  virtual bool ReadBool(std::string_view key) const = 0;
  virtual std::int32_t ReadInt(std::string_view key) const = 0;
  virtual std::string ReadText(std::string_view key) const = 0;
  // Writes change the in-memory list only; refused (false) when the object is invalid or
  // the key exists with another kind.
  virtual bool WriteBool(std::string_view key, bool value) = 0;
  virtual bool WriteInt(std::string_view key, std::int32_t value) = 0;
  virtual bool WriteText(std::string_view key, std::string_view value) = 0;
  // Parses the record again, dropping in-memory changes.
  virtual void Reload() = 0;

  // The text that `VersionVar` points at, or empty.
  virtual const std::string& VersionText() const = 0;
  // `AddFields`: "|"-separated "name=value" pairs.
  virtual TICrashFields AdditionalFields() const = 0;
  // `AddAttachs`: "|"-separated entries "path>send-as>field>archive", all but the path optional.
  virtual std::vector<TCrashAttachment> AdditionalAttachments() const = 0;
  // Values typed into assistant pages, to prefill the next assistant.
  virtual TICrashFields& FormCache() = 0;

  // One getter and one setter per known key: Enabled(), SetEnabled(bool), ...
#define VM_SETTING_B(name, def)                 \
  bool name() const { return ReadBool(#name); } \
  bool Set##name(bool value) { return WriteBool(#name, value); }
#define VM_SETTING_I(name, def)                        \
  std::int32_t name() const { return ReadInt(#name); } \
  bool Set##name(std::int32_t value) { return WriteInt(#name, value); }
#define VM_SETTING_T(name, def)                        \
  std::string name() const { return ReadText(#name); } \
  bool Set##name(std::string_view value) { return WriteText(#name, value); }
  VM_CRASH_SETTINGS(VM_SETTING_B, VM_SETTING_I, VM_SETTING_T)
#undef VM_SETTING_B
#undef VM_SETTING_I
#undef VM_SETTING_T
};

class TICrashSettings : public ICrashSettings {
public:
  explicit TICrashSettings(TModuleHandle module);
  // A private copy: the copy's writes and reloads leave the module's shared list alone.
  TICrashSettings(const TICrashSettings& other);
  TICrashSettings& operator=(const TICrashSettings&) = delete;
  ~TICrashSettings() override;

  bool Valid() const override { return FShared != nullptr; }
  TModuleHandle Module() const override { return FModule; }
  bool ReadBool(std::string_view key) const override;
  std::int32_t ReadInt(std::string_view key) const override;
  std::string ReadText(std::string_view key) const override;
  bool WriteBool(std::string_view key, bool value) override;
  bool WriteInt(std::string_view key, std::int32_t value) override;
  bool WriteText(std::string_view key, std::string_view value) override;
  void Reload() override;
  const std::string& VersionText() const override { return FVersionText; }
  TICrashFields AdditionalFields() const override;
  std::vector<TCrashAttachment> AdditionalAttachments() const override;
  TICrashFields& FormCache() override { return FFormCache; }

  // The raw text of a key, before placeholder expansion.
  std::string ReadRawText(std::string_view key) const;
  // The version for "%modversion%": VersionText, else the file version, else "?".
  std::string DisplayVersion() const;

private:
  std::optional<TCrashProperty> Lookup(std::string_view key) const;
  const TCrashPropertyList* Properties() const;
  bool Write(std::string_view key, const TCrashProperty& value);
  void ReadVersionText();

  mutable TSettingsBlockRef FBlock;
  TModuleHandle FModule;
  TModuleSettings* FShared = nullptr;
  std::unique_ptr<TCrashPropertyList> FPrivate;  // set in copies
  std::string FVersionText;
  TICrashFields FFormCache;
};

// The settings that govern a module: its own when valid and not deferring (`NoSettings`),
// else the first such settings of the reporter's home module and then of every loaded
// module in address order; the module's own (defaults) when none qualifies.
std::unique_ptr<TICrashSettings> SettingsForModule(TModuleHandle module);

TICrashFields ParseAdditionalFields(std::string_view text);
std::vector<TCrashAttachment> ParseAdditionalAttachments(std::string_view text);

}  // namespace vm
