// The error dialog's rules, kept apart from windows so that they are tested on the host:
// the message's line breaks, which button counts down, which one has the focus, what
// closing the window does, and the pixel layout from measured text sizes.
// Windows side: ExceptionBox_win32.cpp. Tests: tests/crashreport/dialog/DialogRulesTest.cpp.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "toolkit/Layout.h"

namespace vm::dialog {

// Indexed as `FocusedBtn` counts them.
enum class TButton { Send = 0, Save, Print, Show, Continue, Restart, Close };
constexpr int kButtonCount = 7;
// What the handlers are told: a button's action, or help (F1).
enum class TBoxAction { Send = 0, Save, Print, Show, Continue, Restart, Close, Help };
inline TBoxAction ActionOf(TButton b) { return TBoxAction(int(b)); }
using TButtonSet = std::array<bool, kButtonCount>;  // which buttons the dialog has

inline bool Has(const TButtonSet& set, TButton b) { return set[size_t(b)]; }

// ". " becomes "." CR LF, scanning from ten characters before the end back to the 20th
// character, so that long messages break after their sentences.
std::string BreakMessageLines(std::string_view message);

struct TAutoActions {
  bool Close = false, Restart = false, Continue = false;  // the settings' automatic actions that apply
};
// The button that counts down: close, else restart, else continue (when it can go on).
std::optional<TButton> CountdownButton(const TAutoActions& autos, const TButtonSet& buttons, bool canContinue);

// The continue button is disabled (with its can't-continue image) when the program cannot
// go on and a restart or close button offers a way out.
bool ContinueDisabled(const TButtonSet& buttons, bool canContinue);

// The button that gets the focus and is the default: the countdown button, else the one
// `FocusedBtn` names; a hidden or disabled choice falls to the first usable button.
std::optional<TButton> FocusedButton(int focusedBtn, const TButtonSet& usable, std::optional<TButton> countdown);

// What Esc or the close box does: the focused button's action when it is continue,
// restart or close; else continue when it can; else close; else restart; else nothing.
// The simple box's OK button counts as continue (it continues when it can, else closes).
std::optional<TButton> ClosingAction(std::optional<TButton> focused, const TButtonSet& buttons, bool canContinue,
                                     bool simpleBox);

// What pressing continue (or OK) really does.
inline TButton ContinueAction(bool canContinue) { return canContinue ? TButton::Continue : TButton::Close; }

// ---- Layout ----
// Every length is in device pixels; the design values (39, 79, 664, 26/22/23, 474) are
// scaled by `Dpi`. Text sizes come measured in the dialog's text font.
struct TLayoutInput {
  int Dpi = 96;
  bool SimpleBox = false;
  bool UglyBtns = true;
  bool HasIcon = true;
  bool DetailsOpen = false;
  TButtonSet Buttons{};  // full dialog; the simple box uses SimpleButtons
  std::array<int, kButtonCount> CaptionWidth{};
  int SimpleButtons = 1;  // OK, or OK and Details
  std::array<int, 2> SimpleCaptionWidth{};
  int ScreenWidth = 0;    // 0: no limit
  int CaptionHeight = 0;  // of the title bar, for the screen-width limit
};

struct TLayout {
  int ClientWidth = 0, ClientHeight = 0;
  TRect Icon, Text, Details;                  // Details empty when closed
  std::array<TRect, kButtonCount> Buttons{};  // full dialog, empty when absent
  std::array<TRect, 2> SimpleButtons{};
  bool Stacked = false;  // the right-hand buttons in a column
};

// The width the message text is wrapped to: 664 or the buttons' total width, less the icon column.
int TextWrapWidth(const TLayoutInput& in);
// The layout for the text measured at TextWrapWidth; `clientWidth`/`clientHeight` above
// the natural size stretch the details view (and move the buttons) when it is open.
TLayout LayoutDialog(const TLayoutInput& in, int textWidth, int textHeight, int clientWidth = 0, int clientHeight = 0);

int ButtonWidth(int captionWidth, bool simpleBox, int dpi);
int ButtonHeight(const TLayoutInput& in);
int IconSize(int dpi);

}  // namespace vm::dialog
