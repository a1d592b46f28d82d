#include "crashreport/dialog/Assistant_win32.h"

#include <optional>

#include "base/Text.h"
#include "crashreport/dialog/AssistantPages.h"
#include "crashreport/dialog/AssistantWindow_win32.h"
#include "crashreport/dialog/ContactForm.h"
#include "crashreport/dialog/ScreenshotForm_win32.h"
#include "crashreport/report/CrashException.h"
#include "crashreport/settings/CrashSettingsAssistants.h"
#include "crashreport/settings/CrashSettingsSystem.h"

namespace vm {

namespace {

// The handlers a page resource may name.
TNVActionHandler FindActionHandler(std::string_view name) {
  if (SameText(name, "Zentrapix.HandleContactForm")) return HandleContactForm;
  if (SameText(name, "Zentrapix.HandleScreenshotForm")) return HandleScreenshotForm;
  return nullptr;
}

// The page's resource in the module that holds the reporter, else in the program.
std::optional<std::string> PageResource(const std::string& formName) {
  HMODULE home = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&PageResource), &home);
  std::string name = UpperCase(AssistantFormResource(formName));
  for (HMODULE module : {home, GetModuleHandleA(nullptr)}) {
    HRSRC found = module ? FindResourceA(module, name.c_str(), MAKEINTRESOURCEA(10) /* RT_RCDATA */) : nullptr;
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (bytes) return std::string(static_cast<const char*>(bytes), SizeofResource(module, found));
  }
  return std::nullopt;
}

// A page as its resource describes it; a page without a resource is left out.
std::optional<TNVForm> LoadPage(const std::string& formName, const std::string& title, TICrashException& record) {
  auto bytes = PageResource(formName);
  if (!bytes) return std::nullopt;
  TAssistantPageParse parse = ParseAssistantPage(*bytes, formName);
  if (!parse.Found) return std::nullopt;
  if (!parse.Error.empty()) CrashSystem().ShowInternalError(parse.Error);
  TNVForm form = std::move(parse.Form);
  if (form.Title.empty()) form.Title = title;
  form.ActionHandler = FindActionHandler(form.OnAction);
  form.Record = &record;
  return form;
}

}  // namespace

int RunAssistant(const std::string& name, TICrashException& record, HWND parent) {
  auto def = FindAssistant(record, name, record.Screenshot().has_value());
  if (!def) return arNotFound;
  TNVAssistant assistant{def->Name, def->Title, {}, 0};
  bool enabledBefore = parent && IsWindowEnabled(parent);
  if (parent) EnableWindow(parent, FALSE);
  for (const std::string& formName : def->Forms)
    if (auto page = LoadPage(formName, def->Title, record)) assistant.Forms.push_back(std::move(*page));
  int result = RunAssistantPages(assistant, record, [&](TNVForm& page) { return ShowAssistantPage(page, parent); });
  if (parent) {
    EnableWindow(parent, enabledBefore);
    SetForegroundWindow(parent);
  }
  return result;
}

}  // namespace vm
