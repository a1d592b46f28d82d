#include "crashreport/dialog/AssistantPages.h"

#include "base/Text.h"
#include "crashreport/settings/CrashSettingsAssistants.h"
#include "crashreport/settings/CrashSettingsStream.h"

namespace vm {

namespace {

std::unique_ptr<TNVItem> NewItem(std::string_view kind, std::string name) {
  if (kind == "TNVButton") return std::make_unique<TNVButton>(std::move(name));
  if (kind == "TNVLabel") return std::make_unique<TNVLabel>(std::move(name));
  if (kind == "TNVEdit") return std::make_unique<TNVEdit>(std::move(name));
  if (kind == "TNVCheckBox") return std::make_unique<TNVCheckBox>(std::move(name));
  if (kind == "TNVImage") return std::make_unique<TNVImage>(std::move(name));
  return nullptr;
}

bool SetPageProperty(TNVForm& form, const TCrashProperty& p) {
  if (p.Name == "Title")
    form.Title = p.TextValue;
  else if (p.Name == "Message")
    form.Message = p.TextValue;
  else if (p.Name == "MinWidth")
    form.MinWidth = p.IntValue;
  else if (p.Name == "OnAction")
    form.OnAction = p.TextValue;
  else if (p.Name == "Timer")
    form.Timer = p.IntValue;
  else if (p.Name == "ActiveControl")
    form.ActiveControl = p.TextValue;
  else
    return false;
  return true;
}

// Properties an item kind does not have are passed over: a page written for a later
// version still shows.
void SetItemProperty(TNVItem& item, std::string_view name, const TCrashProperty& p) {
  if (name == "Enabled")
    item.Enabled = p.BoolValue;
  else if (name == "Spacing")
    item.Spacing = p.IntValue;
  else if (auto* button = dynamic_cast<TNVButton*>(&item)) {
    if (name == "Caption")
      button->Caption = p.TextValue;
    else if (name == "NoOwnerDraw")
      button->NoOwnerDraw = p.BoolValue;
    else if (name == "Visible")
      button->Visible = p.BoolValue;
  } else if (auto* label = dynamic_cast<TNVLabel*>(&item)) {
    if (name == "Caption") label->Caption = p.TextValue;
  } else if (auto* edit = dynamic_cast<TNVEdit*>(&item)) {
    if (name == "Colored")
      edit->Colored = p.BoolValue;
    else if (name == "Lines")
      edit->Lines = p.IntValue < 1 ? 1 : p.IntValue;
    else if (name == "Optional")
      edit->Optional = p.BoolValue;
    else if (name == "OutputName")
      edit->OutputName = p.TextValue;
    else if (name == "OutputType")
      edit->OutputType = p.TextValue == "nvoOwnSection" ? TNVOutputType::nvoOwnSection : TNVOutputType::nvoHeader;
    else if (name == "Text")
      edit->Text = p.TextValue;
    else if (name == "Valid")
      edit->Valid = p.BoolValue;
  } else if (auto* check = dynamic_cast<TNVCheckBox*>(&item)) {
    if (name == "Caption")
      check->Caption = p.TextValue;
    else if (name == "Checked")
      check->Checked = p.BoolValue;
    else if (name == "OutputName")
      check->OutputName = p.TextValue;
  } else if (auto* image = dynamic_cast<TNVImage*>(&item)) {
    if (name == "Border")
      image->Border = p.BoolValue;
    else if (name == "Clickable")
      image->Clickable = p.BoolValue;
    else if (name == "File")
      image->File = p.TextValue;
    else if (name == "Height")
      image->Height = p.IntValue;
    else if (name == "Width")
      image->Width = p.IntValue;
  }
}

// An item's own line. The three buttons exist on every page already, so that a page that
// parsed only in part still has a way out; a second item of one name would be unreachable.
void DeclareItem(TNVForm& form, const TCrashProperty& p) {
  if (form.Find(p.Name)) return;
  if (auto item = NewItem(p.TextValue, p.Name)) form.Items.push_back(std::move(item));
}

}  // namespace

TAssistantPageParse ParseAssistantPage(std::string_view bytes, std::string_view formName) {
  TAssistantPageParse result;
  result.Form.Name = formName;
  TSettingsParse parse = ParseFormStream(bytes, FormStreamPrefix(AssistantFormResource(formName), formName));
  result.Found = parse.HasPrefix;
  for (int i = 0; i < parse.Properties.Count(); ++i) {
    const TCrashProperty& p = parse.Properties[i];
    size_t dot = p.Name.find('.');
    if (dot == std::string::npos) {
      if (!SetPageProperty(result.Form, p) && p.Kind == TPropertyKind::Text) DeclareItem(result.Form, p);
    } else if (TNVItem* item = result.Form.Find(std::string_view(p.Name).substr(0, dot))) {
      SetItemProperty(*item, std::string_view(p.Name).substr(dot + 1), p);
    }
  }
  if (parse.BadType)
    result.Error = "Internal error: Invalid assistant resource ($" + LowerCase(IntToHex(*parse.BadType, 2)) + ").";
  else if (parse.Truncated)
    result.Error = "Internal error: Invalid assistant resource (truncated).";
  return result;
}

}  // namespace vm
