#include "crashreport/dialog/ContactForm.h"

#include "crashreport/report/CrashException.h"
#include "settings/Registry.h"

namespace vm {

namespace {

constexpr const char* kNameValue = "RememberName";
constexpr const char* kEmailValue = "RememberEmail";

// Remembering is a convenience: a registry that refuses costs the user some typing, never the report.
void Recall(TNVForm& form, TNVEdit& name, TNVEdit& email, TNVCheckBox* remember) {
  try {
    TRegistry reg;
    if (!reg.OpenKeyReadOnly(kContactFormKey)) return;
    bool hasName = reg.ValueExists(kNameValue), hasEmail = reg.ValueExists(kEmailValue);
    if (!hasName && !hasEmail) return;
    name.Text = hasName ? reg.ReadString(kNameValue) : std::string();
    email.Text = hasEmail ? reg.ReadString(kEmailValue) : std::string();
    if (remember) remember->Checked = true;
    email.Valid = ValidEmailAddress(email.Text);
    if (ContinueAllowed(form) && form.ContinueBtn().Enabled) form.ActiveControl = form.ContinueBtn().Name;
  } catch (const Exception&) {
  }
}

void Remember(bool keep, const std::string& name, const std::string& email) {
  try {
    TRegistry reg;
    if (keep) {
      if (!reg.OpenKey(kContactFormKey, true)) return;
      reg.WriteString(kNameValue, name);
      reg.WriteString(kEmailValue, email);
    } else if (reg.OpenKey(kContactFormKey, false)) {
      reg.DeleteValue(kNameValue);
      reg.DeleteValue(kEmailValue);
    }
  } catch (const Exception&) {
  }
}

}  // namespace

void HandleContactForm(TNVForm& form, TNVEvent event, TNVItem* item) {
  auto* name = form.Find<TNVEdit>("NameEdit");
  auto* email = form.Find<TNVEdit>("EmailEdit");
  auto* remember = form.Find<TNVCheckBox>("MemCheck");
  if (!name || !email) return;
  switch (event) {
    case TNVEvent::Show:
      email->Valid = ValidEmailAddress(email->Text);
      Recall(form, *name, *email, remember);
      break;
    case TNVEvent::Change:
      if (item == email) email->Valid = ValidEmailAddress(email->Text);
      break;
    case TNVEvent::Close:
      if (form.ModalResult != arContinue) break;
      Remember(remember && remember->Checked, name->Text, email->Text);
      if (!name->Text.empty() && form.Record) form.Record->SetMailFrom(name->Text + " <" + email->Text + ">");
      break;
    default:
      break;
  }
}

}  // namespace vm
