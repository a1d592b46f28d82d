#include <gtest/gtest.h>

#include "crashreport/dialog/DialogRules.h"

namespace vm::dialog {
namespace {

TButtonSet Set(std::initializer_list<TButton> list) {
  TButtonSet set{};
  for (TButton b : list) set[size_t(b)] = true;
  return set;
}
const TButtonSet kShipped = Set({TButton::Send, TButton::Show, TButton::Continue, TButton::Restart, TButton::Close});

TEST(DialogRules, MessageBreaksAfterSentencesOnlyInsideTheScannedRange) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"Access violation at address 00401000. Read of address 00000000.",
       "Access violation at address 00401000.\r\nRead of address 00000000."},
      // A ". " among the first 20 characters or the last 10 stays.
      {"Short. Text here. And more words follow. Then last. x. y.",
       "Short. Text here. And more words follow.\r\nThen last. x. y."},
      {"Stack overflow.", "Stack overflow."},
      {"", ""},
      {"One. Two. Three. Four. Five. Six. Seven.", "One. Two. Three. Four.\r\nFive.\r\nSix. Seven."},
  };
  for (const Case& c : cases) EXPECT_EQ(BreakMessageLines(c.in), c.out) << c.in;
}

TEST(DialogRules, CountdownPrefersCloseThenRestartThenContinue) {
  EXPECT_EQ(CountdownButton({true, true, true}, kShipped, true), TButton::Close);
  EXPECT_EQ(CountdownButton({false, true, true}, kShipped, true), TButton::Restart);
  EXPECT_EQ(CountdownButton({false, false, true}, kShipped, true), TButton::Continue);
  // A hidden button does not count down; continue only when the program can go on.
  EXPECT_EQ(CountdownButton({true, false, false}, Set({TButton::Continue, TButton::Restart}), true), std::nullopt);
  EXPECT_EQ(CountdownButton({true, true, false}, Set({TButton::Restart}), true), TButton::Restart);
  EXPECT_EQ(CountdownButton({false, false, true}, kShipped, false), std::nullopt);
  EXPECT_EQ(CountdownButton({}, kShipped, true), std::nullopt);
}

TEST(DialogRules, ContinueIsDisabledOnlyWhenThereIsAnotherWayOut) {
  EXPECT_FALSE(ContinueDisabled(kShipped, true));
  EXPECT_TRUE(ContinueDisabled(kShipped, false));
  EXPECT_TRUE(ContinueDisabled(Set({TButton::Continue, TButton::Restart}), false));
  EXPECT_FALSE(ContinueDisabled(Set({TButton::Send, TButton::Continue}), false));
}

TEST(DialogRules, FocusFollowsTheCountdownThenTheSettingThenTheFirstUsableButton) {
  EXPECT_EQ(FocusedButton(0, kShipped, std::nullopt), TButton::Send);
  EXPECT_EQ(FocusedButton(5, kShipped, std::nullopt), TButton::Restart);
  EXPECT_EQ(FocusedButton(0, kShipped, TButton::Close), TButton::Close);
  // Save is hidden; 9 names no button; continue disabled is not usable.
  EXPECT_EQ(FocusedButton(1, kShipped, std::nullopt), TButton::Send);
  EXPECT_EQ(FocusedButton(9, Set({TButton::Restart, TButton::Close}), std::nullopt), TButton::Restart);
  EXPECT_EQ(FocusedButton(4, Set({TButton::Restart, TButton::Close}), std::nullopt), TButton::Restart);
  EXPECT_EQ(FocusedButton(0, TButtonSet{}, std::nullopt), std::nullopt);
}

TEST(DialogRules, ClosingTheWindow) {
  using B = TButton;
  struct Case {
    std::optional<B> focused;
    TButtonSet buttons;
    bool canContinue;
    std::optional<B> expected;
  } cases[] = {
      {B::Send, kShipped, true, B::Continue},
      {B::Restart, kShipped, true, B::Restart},
      {B::Close, kShipped, true, B::Close},
      {B::Send, kShipped, false, B::Close},                // continue cannot: close exists
      {B::Continue, Set({B::Continue}), false, B::Close},  // continue that cannot go on closes
      {B::Send, Set({B::Send, B::Restart}), true, B::Restart},
      {B::Send, Set({B::Send, B::Continue, B::Restart}), false, B::Restart},
      {B::Send, Set({B::Send, B::Show}), true, std::nullopt},  // no way out: nothing happens
  };
  for (const Case& c : cases)
    EXPECT_EQ(ClosingAction(c.focused, c.buttons, c.canContinue, false), c.expected)
        << "focused " << int(*c.focused) << " can continue " << c.canContinue;
  // The simple box's Esc does what OK does: it does not end a program that can go on.
  EXPECT_EQ(ClosingAction(std::nullopt, {}, true, true), TButton::Continue);
  EXPECT_EQ(ClosingAction(std::nullopt, {}, false, true), TButton::Close);
}

TLayoutInput Shipped(int dpi = 96) {
  TLayoutInput in;
  in.Dpi = dpi;
  in.Buttons = kShipped;
  in.CaptionWidth = {80, 0, 0, 82, 100, 96, 90};
  return in;
}

TEST(DialogRules, ShippedButtonsStandInTwoColumnsBelowTheText) {
  TLayoutInput in = Shipped();
  EXPECT_EQ(TextWrapWidth(in), 664 - 42);
  TLayout l = LayoutDialog(in, 600, 30);
  EXPECT_TRUE(l.Stacked);
  EXPECT_EQ(l.ClientWidth, 684);
  EXPECT_EQ(l.Icon, (TRect{10, 10, 32, 32}));
  EXPECT_EQ(l.Text, (TRect{52, 10, 600, 30}));
  // Left column: send, show (each its caption + 39, as wide as the widest of its group).
  EXPECT_EQ(l.Buttons[0], (TRect{10, 52, 121, 26}));
  EXPECT_EQ(l.Buttons[3], (TRect{10, 84, 121, 26}));
  // Right column: continue, restart, close, flush with the right margin.
  EXPECT_EQ(l.Buttons[4], (TRect{674 - 139, 52, 139, 26}));
  EXPECT_EQ(l.Buttons[5], (TRect{674 - 139, 84, 139, 26}));
  EXPECT_EQ(l.Buttons[6], (TRect{674 - 139, 116, 139, 26}));
  EXPECT_EQ(l.Buttons[1], TRect{});
  EXPECT_EQ(l.ClientHeight, 116 + 26 + 10);
  EXPECT_EQ(l.Details, TRect{});
}

TEST(DialogRules, OneRowWhenOnlyOneGroupOrOneRightHandButton) {
  TLayoutInput in = Shipped();
  in.Buttons = Set({TButton::Send, TButton::Show, TButton::Close});
  in.UglyBtns = false;
  TLayout l = LayoutDialog(in, 100, 10);
  EXPECT_FALSE(l.Stacked);
  // Text shorter than the icon: the buttons go below the icon; height 22 without UglyBtns.
  EXPECT_EQ(l.Buttons[0], (TRect{10, 52, 119, 22}));
  EXPECT_EQ(l.Buttons[3], (TRect{135, 52, 121, 22}));
  EXPECT_EQ(l.Buttons[6], (TRect{674 - 129, 52, 129, 22}));

  in.Buttons = Set({TButton::Continue, TButton::Restart, TButton::Close});
  l = LayoutDialog(in, 100, 10);
  EXPECT_FALSE(l.Stacked);
  EXPECT_EQ(l.Buttons[6].Right(), 674);
  EXPECT_EQ(l.Buttons[5].Right(), l.Buttons[6].Left - 6);
  EXPECT_EQ(l.Buttons[4].Right(), l.Buttons[5].Left - 6);
}

TEST(DialogRules, WideButtonsWidenTheTextAndNoIconGivesItsColumnBack) {
  TLayoutInput in = Shipped();
  in.Buttons = Set({TButton::Send, TButton::Save, TButton::Print, TButton::Show, TButton::Close});
  in.CaptionWidth = {200, 200, 200, 200, 0, 0, 100};
  in.HasIcon = false;
  // 4 * 239 + 4 gaps of 6 (one of them between the groups, which also get 20) + 139.
  EXPECT_EQ(TextWrapWidth(in), 956 + 24 + 20 + 139);
  TLayout l = LayoutDialog(in, 300, 40);
  EXPECT_EQ(l.Icon, TRect{});
  EXPECT_EQ(l.Text.Left, 10);
  EXPECT_EQ(l.ClientWidth, 1139 + 20);
}

TEST(DialogRules, SimpleBoxCentresItsButtonsAtLeast79Wide) {
  TLayoutInput in;
  in.SimpleBox = true;
  in.SimpleButtons = 2;
  in.SimpleCaptionWidth = {20, 45};
  TLayout l = LayoutDialog(in, 200, 13);
  EXPECT_EQ(l.SimpleButtons[0].Width, 79);
  EXPECT_EQ(l.SimpleButtons[1].Width, 84);
  EXPECT_EQ(l.SimpleButtons[0].Height, 23);
  int total = 79 + 6 + 84;
  EXPECT_EQ(l.SimpleButtons[0].Left, (l.ClientWidth - total) / 2);
  EXPECT_EQ(l.SimpleButtons[1].Left, l.SimpleButtons[0].Right() + 6);
}

TEST(DialogRules, DetailsViewAddsItsHeightAndTakesWhatResizingAdds) {
  TLayoutInput in = Shipped();
  TLayout closed = LayoutDialog(in, 600, 30);
  in.DetailsOpen = true;
  TLayout open = LayoutDialog(in, 600, 30);
  EXPECT_EQ(open.ClientHeight, closed.ClientHeight + 474 + 10);
  EXPECT_EQ(open.Details, (TRect{10, 52, 664, 474}));
  EXPECT_EQ(open.Buttons[0].Top, closed.Buttons[0].Top + 484);

  TLayout bigger = LayoutDialog(in, 600, 30, open.ClientWidth + 100, open.ClientHeight + 50);
  EXPECT_EQ(bigger.Details, (TRect{10, 52, 764, 524}));
  EXPECT_EQ(bigger.Buttons[6].Right(), open.Buttons[6].Right() + 100);
  EXPECT_EQ(bigger.Buttons[6].Top, open.Buttons[6].Top + 50);
  EXPECT_EQ(bigger.Buttons[0].Left, 10);
  // Smaller than natural does not squeeze anything.
  EXPECT_EQ(LayoutDialog(in, 600, 30, 100, 100).ClientWidth, open.ClientWidth);

  // Never wider than the screen less five caption heights.
  in.ScreenWidth = 640;
  in.CaptionHeight = 20;
  EXPECT_EQ(LayoutDialog(in, 400, 30).ClientWidth, 640 - 100);
}

TEST(DialogRules, EveryDesignLengthScalesWithTheDpi) {
  TLayoutInput in = Shipped(144);
  in.CaptionWidth = {120, 0, 0, 123, 150, 144, 135};  // text measured at 144 DPI
  EXPECT_EQ(TextWrapWidth(in), 996 - 63);
  TLayout l = LayoutDialog(in, 900, 45);
  EXPECT_EQ(l.Icon, (TRect{15, 15, 48, 48}));
  EXPECT_EQ(l.Buttons[0].Height, 39);
  EXPECT_EQ(l.Buttons[0].Width, 123 + 59);
  EXPECT_EQ(l.Buttons[3].Top, l.Buttons[0].Bottom() + 9);
  EXPECT_EQ(ButtonWidth(10, true, 144), 119);
}

}  // namespace
}  // namespace vm::dialog
