#include "crashreport/settings/CrashSettingsModules.h"

#include "base/Text.h"

namespace vm {

namespace {

struct TRecordLoad {
  std::optional<TCrashPropertyList> Properties;
  std::string Error;
};

// Parsing runs under the block's lock, but the box waits for the user: callers show the
// error once the lock is released.
TRecordLoad ParseModuleRecord(TModuleHandle module) {
  TRecordLoad load;
  std::optional<std::string> bytes = CrashSystem().SettingsResource(module);
  if (!bytes) return load;
  TSettingsParse parse = ParseSettingsStream(*bytes);
  load.Error = SettingsStreamError(parse);
  load.Properties = std::move(parse.Properties);
  return load;
}

void ReportLoadError(const std::string& error) {
  if (!error.empty()) CrashSystem().ShowInternalError(error);
}

std::string QuotedText(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + '"';
}

}  // namespace

std::optional<TCrashPropertyList> LoadSettingsRecord(TModuleHandle module) {
  TRecordLoad load = ParseModuleRecord(module);
  ReportLoadError(load.Error);
  return std::move(load.Properties);
}

std::optional<TCrashPropertyList> LoadProgramSettingsRecord() { return LoadSettingsRecord(CrashSystem().ExeModule()); }

std::string FormatSettingsRecord(const TCrashPropertyList& properties) {
  std::string out;
  for (int i = 0; i < properties.Count(); ++i) {
    const TCrashProperty& p = properties[i];
    out += p.Name;
    switch (p.Kind) {
      case TPropertyKind::Boolean:
        out += p.BoolValue ? " B true" : " B false";
        break;
      case TPropertyKind::Integer:
        out += " I " + std::to_string(p.IntValue);
        break;
      case TPropertyKind::Text:
        out += " T " + QuotedText(p.TextValue);
        break;
    }
    out += "\r\n";
  }
  return out;
}

TModuleSettings* AcquireModuleSettings(TSettingsBlockRef& block, TModuleHandle module) {
  std::string error;
  TModuleSettings* found = nullptr;
  {
    TSettingsBlockLock lock(block);
    TModuleSettings** link = &block.Head();
    for (; *link; link = &(*link)->Next) {
      if ((*link)->Module == module) {
        found = *link;
        break;
      }
    }
    if (!found) {
      TRecordLoad load = ParseModuleRecord(module);
      if (!load.Properties) return nullptr;
      error = std::move(load.Error);
      found = new TModuleSettings;
      found->Module = module;
      found->Properties = std::move(*load.Properties);
      *link = found;  // appended: the chain keeps the order in which modules came
    }
    ++found->RefCount;
  }
  ReportLoadError(error);
  return found;
}

void ReleaseModuleSettings(TSettingsBlockRef& block, TModuleSettings* settings) {
  if (!settings) return;
  TSettingsBlockLock lock(block);
  if (--settings->RefCount > 0) return;
  for (TModuleSettings** link = &block.Head(); *link; link = &(*link)->Next) {
    if (*link == settings) {
      *link = settings->Next;
      break;
    }
  }
  delete settings;
}

void ReloadModuleSettings(TSettingsBlockRef& block, TModuleSettings* settings) {
  std::string error;
  {
    TSettingsBlockLock lock(block);
    TRecordLoad load = ParseModuleRecord(settings->Module);
    settings->Properties.Clear();
    if (load.Properties) settings->Properties = std::move(*load.Properties);
    error = std::move(load.Error);
  }
  ReportLoadError(error);
}

namespace {
// A registered provider keeps the block alive, or its registration would go with the
// last settings object of the process.
TSettingsBlockRef gProviderBlock;
}  // namespace

bool RegisterSettingsProvider(TModuleHandle module) {
  TSettingsBlockRef block = TSettingsBlockRef::Open();
  if (!block) return false;
  {
    TSettingsBlockLock lock(block);
    if (block.Provider() != 0 && block.Provider() != module) return false;
    block.Provider() = module;
  }
  if (!gProviderBlock) gProviderBlock = std::move(block);
  return true;
}

void UnregisterSettingsProvider(TModuleHandle module) {
  TSettingsBlockRef block = TSettingsBlockRef::Open();
  if (!block) return;
  {
    TSettingsBlockLock lock(block);
    if (block.Provider() != module) return;
    block.Provider() = 0;
  }
  gProviderBlock = TSettingsBlockRef();
}

}  // namespace vm
