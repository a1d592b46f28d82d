#include "crashreport/dialog/Assistant.h"

#include "base/Text.h"
#include "crashreport/report/CrashException.h"
#include "crashreport/settings/CrashSettingsAssistants.h"

namespace vm {

TNVForm::TNVForm() {
  Items.push_back(std::make_unique<TNVButton>("ContinueBtn", "Continue"));
  Items.push_back(std::make_unique<TNVButton>("SkipBtn", "Skip"));
  Items.push_back(std::make_unique<TNVButton>("CancelBtn", "Cancel"));
}

TNVItem* TNVForm::Find(std::string_view name) const {
  for (const auto& item : Items)
    if (SameText(item->Name, name)) return item.get();
  return nullptr;
}

namespace {

bool AddressChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '\'' || c == '+' ||
         c == '-' || c == '_';
}

// The edits and check boxes of a page in the form cache's terms, and back.
std::vector<TFormItem> CacheItems(const TNVForm& form) {
  std::vector<TFormItem> items;
  for (const auto& item : form.Items) {
    if (auto* edit = dynamic_cast<const TNVEdit*>(item.get()))
      items.push_back({edit->Name, false, edit->Text, false});
    else if (auto* check = dynamic_cast<const TNVCheckBox*>(item.get()))
      items.push_back({check->Name, true, {}, check->Checked});
  }
  return items;
}

}  // namespace

bool ValidEmailAddress(std::string_view address) {
  if (address.empty() || address.front() == ' ' || address.back() == ' ') return false;
  if (address.front() == '.' || address.back() == '.') return false;
  size_t at = address.rfind('@');
  if (at == std::string_view::npos || at == 0) return false;
  if (at + 1 >= address.size() || address[at + 1] == '.') return false;
  if (address.find('.', at + 1) == std::string_view::npos) return false;
  int ats = 0;
  for (char c : address) {
    if (c == '@')
      ++ats;
    else if (c != '.' && !AddressChar(c))
      return false;
  }
  return ats == 1;
}

bool ContinueAllowed(const TNVForm& form) {
  for (const auto& item : form.Items)
    if (auto* edit = dynamic_cast<const TNVEdit*>(item.get()))
      if (!edit->Optional && (edit->Text.empty() || !edit->Valid)) return false;
  return true;
}

void PutPageValues(const TNVForm& form, TICrashException& record) {
  for (const auto& item : form.Items) {
    if (auto* check = dynamic_cast<const TNVCheckBox*>(item.get())) {
      if (!check->OutputName.empty()) record.SetHeaderField(check->OutputName, check->Checked ? "yes" : "no");
    } else if (auto* edit = dynamic_cast<const TNVEdit*>(item.get())) {
      if (edit->OutputName.empty() || edit->Text.empty()) continue;
      if (edit->OutputType == TNVOutputType::nvoOwnSection && edit->Lines >= 2)
        record.SetSection(edit->OutputName, edit->Text);
      else
        record.SetHeaderField(edit->OutputName, edit->Text);
    }
  }
}

void FillFormCache(TICrashFields& cache, const TNVForm& form) { FillFormCache(cache, CacheItems(form)); }

bool PrefillFromFormCache(const TICrashFields& cache, TNVForm& form) {
  std::vector<TFormItem> items = CacheItems(form);
  bool all = PrefillFromFormCache(cache, items);
  for (const TFormItem& cached : items) {
    if (auto* edit = form.Find<TNVEdit>(cached.Name))
      edit->Text = cached.Text;
    else if (auto* check = form.Find<TNVCheckBox>(cached.Name))
      check->Checked = cached.Checked;
  }
  return all;
}

int RunAssistantPages(TNVAssistant& assistant, TICrashException& record, const TShowPage& show) {
  assistant.ModalResult = arContinue;
  for (TNVForm& page : assistant.Forms) {
    PrefillFromFormCache(record.FormCache(), page);
    page.ModalResult = show(page);
    FillFormCache(record.FormCache(), page);
    if (page.ModalResult == arCancel) {
      assistant.ModalResult = arCancel;
      return arCancel;
    }
  }
  record.BeginUpdate();
  for (const TNVForm& page : assistant.Forms)
    if (page.ModalResult == arContinue) PutPageValues(page, record);
  record.EndUpdate();
  return arContinue;
}

}  // namespace vm
