#include "crashreport/settings/CrashSettings.h"

#include "base/FileIO.h"
#include "base/Text.h"
#include "crashreport/settings/CrashSettingsDefaults.h"
#include "crashreport/settings/CrashSettingsModules.h"
#include "crashreport/settings/CrashSettingsPlaceholders.h"

namespace vm {

namespace {

constexpr const char* kBlockUnavailable = "internal error (opening settings buffer)";

TSettingsBlockRef OpenBlock() {
  TSettingsBlockRef block = TSettingsBlockRef::Open();
  if (!block) CrashSystem().ShowInternalError(kBlockUnavailable);
  return block;
}

std::vector<std::string> Split(std::string_view text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t end = text.find(separator, start);
    parts.emplace_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

}  // namespace

TICrashSettings::TICrashSettings(TModuleHandle module) : FBlock(OpenBlock()), FModule(module) {
  if (FBlock) FShared = AcquireModuleSettings(FBlock, module);
  ReadVersionText();
}

TICrashSettings::TICrashSettings(const TICrashSettings& other)
    : FBlock(OpenBlock()), FModule(other.FModule), FVersionText(other.FVersionText), FFormCache(other.FFormCache) {
  if (FBlock && other.FShared) {
    FShared = AcquireModuleSettings(FBlock, FModule);
    TSettingsBlockLock lock(other.FBlock);
    FPrivate = std::make_unique<TCrashPropertyList>(*other.Properties());
  }
}

TICrashSettings::~TICrashSettings() {
  if (FShared) ReleaseModuleSettings(FBlock, FShared);
}

const TCrashPropertyList* TICrashSettings::Properties() const {
  if (FPrivate) return FPrivate.get();
  return FShared ? &FShared->Properties : nullptr;
}

std::optional<TCrashProperty> TICrashSettings::Lookup(std::string_view key) const {
  if (const TCrashPropertyList* own = Properties())
    if (const TCrashProperty* p = own->Find(key)) return *p;
  TModuleHandle provider = FBlock ? FBlock.Provider() : 0;
  if (provider != 0 && provider != FModule) return TICrashSettings(provider).Lookup(key);
  if (const TCrashProperty* p = CrashSettingsDefaults().Find(key)) return *p;
  return std::nullopt;
}

bool TICrashSettings::ReadBool(std::string_view key) const {
  std::optional<TCrashProperty> p = Lookup(key);
  return p && p->BoolValue;
}

std::int32_t TICrashSettings::ReadInt(std::string_view key) const {
  std::optional<TCrashProperty> p = Lookup(key);
  return p ? p->IntValue : 0;
}

std::string TICrashSettings::ReadRawText(std::string_view key) const {
  std::optional<TCrashProperty> p = Lookup(key);
  return p ? p->TextValue : std::string();
}

std::string TICrashSettings::ReadText(std::string_view key) const {
  ICrashSystem& system = CrashSystem();
  TModuleHandle exe = system.ExeModule();
  std::string exePath = system.ModuleFileName(exe);
  TPlaceholderValues values;
  values.AppName = FileNameOf(exePath);
  values.ModName = FModule == exe ? values.AppName : FileNameOf(system.ModuleFileName(FModule));
  values.ModVersion = DisplayVersion();
  values.AppVersion = FModule == exe ? values.ModVersion : TICrashSettings(exe).DisplayVersion();
  values.Now = system.Now();
  values.UserAppData = [&] { return PlaceholderFolder(system.ShellFolder(kFolderAppData), exePath); };
  values.CommonAppData = [&] { return PlaceholderFolder(system.ShellFolder(kFolderCommonAppData), exePath); };
  return ExpandPlaceholders(ReadRawText(key), values);
}

bool TICrashSettings::Write(std::string_view key, const TCrashProperty& value) {
  if (!Valid()) return false;
  std::optional<TSettingsBlockLock> lock;
  TCrashPropertyList* list = FPrivate.get();
  if (!list) {
    lock.emplace(FBlock);
    list = &FShared->Properties;
  }
  TCrashProperty* p = list->Find(key);
  if (p && p->Kind != value.Kind) return false;
  if (p) {
    *p = value;
  } else {
    list->Add(value);
  }
  return true;
}

bool TICrashSettings::WriteBool(std::string_view key, bool value) {
  return Write(key, {std::string(key), TPropertyKind::Boolean, value, 0, {}});
}

bool TICrashSettings::WriteInt(std::string_view key, std::int32_t value) {
  return Write(key, {std::string(key), TPropertyKind::Integer, false, value, {}});
}

bool TICrashSettings::WriteText(std::string_view key, std::string_view value) {
  return Write(key, {std::string(key), TPropertyKind::Text, false, 0, std::string(value)});
}

void TICrashSettings::Reload() {
  if (FPrivate) {
    *FPrivate = LoadSettingsRecord(FModule).value_or(TCrashPropertyList());
  } else if (FShared) {
    ReloadModuleSettings(FBlock, FShared);
  }
  ReadVersionText();
}

void TICrashSettings::ReadVersionText() {
  std::int32_t offset = ReadInt("VersionVar");
  FVersionText = offset > 0 ? CrashSystem().ModuleText(FModule, std::uintptr_t(offset)) : std::string();
}

std::string TICrashSettings::DisplayVersion() const {
  if (!FVersionText.empty()) return FVersionText;
  return CrashSystem().FileVersion(FModule).value_or("?");
}

TICrashFields TICrashSettings::AdditionalFields() const { return ParseAdditionalFields(AddFields()); }

std::vector<TCrashAttachment> TICrashSettings::AdditionalAttachments() const {
  return ParseAdditionalAttachments(AddAttachs());
}

TICrashFields ParseAdditionalFields(std::string_view text) {
  TICrashFields fields;
  for (const std::string& entry : Split(text, '|')) {
    size_t eq = entry.find('=');
    std::string name = Trim(std::string_view(entry).substr(0, eq));
    if (name.empty()) continue;
    fields.Put(name, eq == std::string::npos ? std::string() : Trim(std::string_view(entry).substr(eq + 1)));
  }
  return fields;
}

std::vector<TCrashAttachment> ParseAdditionalAttachments(std::string_view text) {
  std::vector<TCrashAttachment> attachments;
  for (const std::string& entry : Split(text, '|')) {
    std::vector<std::string> parts = Split(entry, '>');
    for (std::string& part : parts) part = Trim(part);
    if (parts[0].empty()) continue;
    parts.resize(4);
    TCrashAttachment a{parts[0], parts[1], parts[2], parts[3]};
    if (a.SendAs.empty()) a.SendAs = FileNameOf(a.Path);
    if (a.FieldName.empty()) a.FieldName = "Attachment" + std::to_string(attachments.size() + 1);
    attachments.push_back(std::move(a));
  }
  return attachments;
}

std::unique_ptr<TICrashSettings> SettingsForModule(TModuleHandle module) {
  auto governs = [](const TICrashSettings& s) { return s.Valid() && !s.NoSettings(); };
  auto own = std::make_unique<TICrashSettings>(module);
  if (governs(*own)) return own;
  ICrashSystem& system = CrashSystem();
  std::vector<TModuleHandle> candidates{system.HomeModule()};
  for (TModuleHandle m : system.LoadedModules())
    if (m != candidates[0]) candidates.push_back(m);
  for (TModuleHandle m : candidates) {
    if (m == module) continue;
    auto settings = std::make_unique<TICrashSettings>(m);
    if (governs(*settings)) return settings;
  }
  return own;
}

}  // namespace vm
