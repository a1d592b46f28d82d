// Assistants: pages of edits and check boxes shown before a report is sent. The portable
// half: the page model, the enabling rule, the address test, the page values that go into
// the bug report and into the form cache. The pages' resources: AssistantPages.h; the
// windows: Assistant_win32.h. Tests: tests/crashreport/dialog/AssistantTest.cpp.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "crashreport/screenshot/INVBitmap.h"

namespace vm {

class TICrashException;
class TICrashFields;

// What RunAssistant returns: continue, skip (the caller treats it as continue), cancelled;
// `arNotFound` when the settings define no assistant of that name.
enum TAssistantResult : int { arNotFound = 0, arContinue = 1, arSkip = 2, arCancel = 3 };

enum class TNVItemKind { Button, Label, Edit, CheckBox, Image };

// What every item of a page has. `Window` is the item's control while the page is shown.
class TNVItem {
public:
  explicit TNVItem(TNVItemKind kind, std::string name) : Kind(kind), Name(std::move(name)) {}
  virtual ~TNVItem() = default;
  const TNVItemKind Kind;
  std::string Name;
  bool Enabled = true;
  int Spacing = 0;  // extra room above the item, in pixels at 96 DPI
  std::uintptr_t Window = 0;
};

class TNVButton : public TNVItem {
public:
  explicit TNVButton(std::string name, std::string caption = {})
      : TNVItem(TNVItemKind::Button, std::move(name)), Caption(std::move(caption)) {}
  std::string Caption;
  bool NoOwnerDraw = false;
  bool Visible = true;
};

class TNVLabel : public TNVItem {
public:
  explicit TNVLabel(std::string name) : TNVItem(TNVItemKind::Label, std::move(name)) {}
  std::string Caption;
};

enum class TNVOutputType { nvoHeader, nvoOwnSection };

class TNVEdit : public TNVItem {
public:
  explicit TNVEdit(std::string name) : TNVItem(TNVItemKind::Edit, std::move(name)) {}
  bool Colored = false;  // shown in the colour of a required field while it blocks Continue
  int Lines = 1;         // 1: a single-line edit
  bool Optional = false;
  std::string OutputName;
  TNVOutputType OutputType = TNVOutputType::nvoHeader;
  std::string Text;
  bool Valid = true;
};

class TNVCheckBox : public TNVItem {
public:
  explicit TNVCheckBox(std::string name) : TNVItem(TNVItemKind::CheckBox, std::move(name)) {}
  std::string Caption;
  bool Checked = false;
  std::string OutputName;
};

class TNVImage : public TNVItem {
public:
  explicit TNVImage(std::string name) : TNVItem(TNVItemKind::Image, std::move(name)) {}
  bool Border = false;
  bool Clickable = false;
  std::string File;
  int Height = 0, Width = 0;  // the area the picture is fitted into, in pixels at 96 DPI
  TINVBitmap Picture;         // what is shown
};

class TNVForm;
enum class TNVEvent { Show, Change, Click, Timer, Close };
// A page's action handler: told when the page is shown, an item changed or was clicked,
// each timer tick, and when the page closes (ModalResult is then set). Handlers work on the
// model; the window follows it after each call.
using TNVActionHandler = void (*)(TNVForm& form, TNVEvent event, TNVItem* item);

class TNVForm {
public:
  TNVForm();  // with the three buttons every page starts with
  TNVForm(TNVForm&&) = default;
  TNVForm& operator=(TNVForm&&) = default;

  std::string Name, Title, Message;
  int MinWidth = 0;
  std::string OnAction;  // the handler's name in the resource
  TNVActionHandler ActionHandler = nullptr;
  int Timer = 0;  // milliseconds; 0: none
  std::vector<std::unique_ptr<TNVItem>> Items;
  std::string ActiveControl;  // the item that gets the focus
  int ModalResult = 0;
  TICrashException* Record = nullptr;  // the record the assistant runs for
  void* UserData = nullptr;            // the handler's own state while the page is shown

  TNVItem* Find(std::string_view name) const;
  template <class T>
  T* Find(std::string_view name) const {
    return dynamic_cast<T*>(Find(name));
  }
  TNVButton& ContinueBtn() const { return static_cast<TNVButton&>(*Items[0]); }
  TNVButton& SkipBtn() const { return static_cast<TNVButton&>(*Items[1]); }
  TNVButton& CancelBtn() const { return static_cast<TNVButton&>(*Items[2]); }
};

struct TNVAssistant {
  std::string Name, Title;
  std::vector<TNVForm> Forms;
  int ModalResult = 0;
};

// The address test of the contact page.
bool ValidEmailAddress(std::string_view address);

// Continue is enabled while every edit is optional or holds non-empty text not marked invalid.
bool ContinueAllowed(const TNVForm& form);

// A page that ended with Continue: its check boxes as "yes"/"no" header fields, its edits'
// non-empty texts as header fields or, for an own-section edit of 2+ lines, as a section.
void PutPageValues(const TNVForm& form, TICrashException& record);

// The form cache: every page's edits and check boxes by item name.
void FillFormCache(TICrashFields& cache, const TNVForm& form);
bool PrefillFromFormCache(const TICrashFields& cache, TNVForm& form);

// The run of an assistant's pages, one after the other: each prefilled from the record's form
// cache, shown by `show` (which returns its ModalResult), then put into the cache. Cancel
// ends the run with arCancel; otherwise the pages that ended with Continue put their values
// into the record and the result is arContinue.
using TShowPage = std::function<int(TNVForm&)>;
int RunAssistantPages(TNVAssistant& assistant, TICrashException& record, const TShowPage& show);

}  // namespace vm
