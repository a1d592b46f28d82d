#include "crashreport/settings/CrashSettingsAssistants.h"

#include "base/Text.h"

namespace vm {

TAssistantDef ParseAssistantDef(std::string_view definition) {
  TAssistantDef def;
  int field = 0;
  size_t start = 0;
  while (start <= definition.size()) {
    size_t end = definition.find('|', start);
    if (end == std::string_view::npos) end = definition.size();
    std::string part = Trim(definition.substr(start, end - start));
    if (field == 0)
      def.Name = part;
    else if (field == 1)
      def.Title = part;
    else if (!part.empty())
      def.Forms.push_back(part);
    ++field;
    start = end + 1;
  }
  return def;
}

std::vector<TAssistantDef> ReadAssistants(const ICrashSettings& settings) {
  std::vector<TAssistantDef> assistants;
  for (int i = 1;; ++i) {
    std::string definition = settings.ReadText("Assistant" + std::to_string(i));
    if (definition.empty()) return assistants;
    assistants.push_back(ParseAssistantDef(definition));
  }
}

std::optional<TAssistantDef> FindAssistant(const ICrashSettings& settings, std::string_view name, bool screenshot) {
  for (TAssistantDef& def : ReadAssistants(settings)) {
    if (!SameText(def.Name, name)) continue;
    if (!screenshot || settings.ScrShotDepth() == 0)
      std::erase_if(def.Forms, [](const std::string& form) { return SameText(form, "ScrShotForm"); });
    return std::move(def);
  }
  return std::nullopt;
}

std::string AssistantFormResource(std::string_view form) { return "TCrash" + std::string(form); }

void FillFormCache(TICrashFields& cache, const std::vector<TFormItem>& items) {
  for (const TFormItem& item : items) cache.Put(item.Name, item.IsCheckBox ? (item.Checked ? "+" : "-") : item.Text);
}

bool PrefillFromFormCache(const TICrashFields& cache, std::vector<TFormItem>& items) {
  bool all = true;
  for (TFormItem& item : items) {
    int i = cache.IndexOf(item.Name);
    if (i < 0) {
      all = false;
      continue;
    }
    if (item.IsCheckBox)
      item.Checked = cache.Value(i) == "+";
    else
      item.Text = cache.Value(i);
  }
  return all;
}

}  // namespace vm
