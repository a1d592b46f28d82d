// Child controls of a form, created from a plain description. Thin: each control is an
// HWND of a standard window class plus what the form needs for layout and events.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "toolkit/Layout.h"

namespace vm {

enum class TControlKind { Label, Edit, ListBox, Button, Image, Icon };

struct TFontSpec {
  std::string Face = "Tahoma";
  int Height = -11;  // at 96 DPI; negative: character height, as in a LOGFONT
  bool Bold = false;
  bool operator==(const TFontSpec&) const = default;
};

struct TControlSpec;
// The common part of a control's description; callers add what is particular to it.
TControlSpec ControlSpec(TControlKind kind, const char* name, const char* caption, TRect bounds,
                         TAnchors anchors = kDefaultAnchors, int tabOrder = -1);

struct TControlSpec {
  TControlKind Kind = TControlKind::Label;
  std::string Name;
  std::string Caption;
  TRect Bounds;  // at 96 DPI, in the form's client area
  TAnchors Anchors = kDefaultAnchors;
  int TabOrder = -1;  // -1: not reached with Tab
  bool ReadOnly = false;
  bool Default = false;             // the button that Enter presses
  std::string Hint;                 // shown as a tooltip
  const TFontSpec* Font = nullptr;  // nullptr: the form's font
  int ItemHeight = 0;               // list boxes, at 96 DPI
  bool WordWrap = false;            // labels
  bool Centered = false;            // labels
  bool NoPrefix = false;            // labels: "&" is shown, not an accelerator
  int ModalResult = 0;              // buttons: ends a modal form with this result
  bool Visible = true;
  std::function<void()> OnClick;
  std::function<void()> OnDblClick;
};

class TControl {
public:
  TControl(TControlSpec spec, int id) : FSpec(std::move(spec)), FId(id) {}
  TControl(const TControl&) = delete;
  TControl& operator=(const TControl&) = delete;

  HWND Handle() const { return FHandle; }
  int Id() const { return FId; }
  const TControlSpec& Spec() const { return FSpec; }
  const std::string& Name() const { return FSpec.Name; }

  void SetOnClick(std::function<void()> handler) { FSpec.OnClick = std::move(handler); }
  void SetOnDblClick(std::function<void()> handler) { FSpec.OnDblClick = std::move(handler); }

  std::string Text() const;
  void SetText(const std::string& text);
  bool Enabled() const;
  void SetEnabled(bool enabled);
  void SetVisible(bool visible);

  // Pictures: a bitmap for an Image, an icon for an Icon; the control does not own them.
  void SetBitmap(HBITMAP bitmap);
  void SetIcon(HICON icon);

  // List boxes.
  std::vector<std::string> Items() const;
  void SetItems(const std::vector<std::string>& items);
  int AddItem(const std::string& item);
  // Index of the item equal to `text` ignoring letter case, or -1.
  int FindExact(const std::string& text) const;
  int ItemIndex() const;
  std::string Item(int index) const;

private:
  friend class TForm;
  void CreateHandle(HWND parent, HINSTANCE instance, int dpi, HFONT font);
  TControlSpec FSpec;
  int FId;
  HWND FHandle = nullptr;
};

}  // namespace vm
