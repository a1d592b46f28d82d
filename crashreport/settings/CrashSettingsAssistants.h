// Assistant definitions ("Assistant1", "Assistant2", ...: name|title|form|form...) and the
// form cache that carries typed values from one assistant to the next.
// Entry points: ReadAssistants, FindAssistant, FillFormCache, PrefillFromFormCache.
// Tests: tests/crashreport/settings/CrashSettingsFiltersTest.cpp.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "crashreport/settings/CrashSettings.h"

namespace vm {

struct TAssistantDef {
  std::string Name, Title;
  std::vector<std::string> Forms;  // in page order
  bool operator==(const TAssistantDef&) const = default;
};

TAssistantDef ParseAssistantDef(std::string_view definition);
// Every definition, read in order up to the first missing key.
std::vector<TAssistantDef> ReadAssistants(const ICrashSettings& settings);
// The assistant of that name (ignoring case); "ScrShotForm" is left out when no screenshot
// is taken, or when `ScrShotDepth` is 0.
std::optional<TAssistantDef> FindAssistant(const ICrashSettings& settings, std::string_view name, bool screenshot);

// The form resource of a page: "TCrash" and the form name.
std::string AssistantFormResource(std::string_view form);

// An edit or check box of an assistant page, by item name.
struct TFormItem {
  std::string Name;
  bool IsCheckBox = false;
  std::string Text;      // edits
  bool Checked = false;  // check boxes
};

// Stores a finished page's values; check boxes as "+" (checked) and "-".
void FillFormCache(TICrashFields& cache, const std::vector<TFormItem>& items);
// Copies cached values into the page's items of the same name. True when every item was
// found in the cache (the page then opens with the focus on Continue).
bool PrefillFromFormCache(const TICrashFields& cache, std::vector<TFormItem>& items);

}  // namespace vm
