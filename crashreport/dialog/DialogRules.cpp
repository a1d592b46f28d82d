#include "crashreport/dialog/DialogRules.h"

#include <algorithm>
#include <vector>

namespace vm::dialog {

namespace {

constexpr int kMargin = 10, kGap = 6;

bool IsRightHand(int i) { return i >= int(TButton::Continue); }

}  // namespace

std::string BreakMessageLines(std::string_view message) {
  std::string out(message);
  if (out.size() < 12) return out;
  for (size_t i = out.size() - 10; i >= 19; --i) {
    if (out[i] == '.' && out[i + 1] == ' ') out.replace(i + 1, 1, "\r\n");
    if (i == 19) break;
  }
  return out;
}

std::optional<TButton> CountdownButton(const TAutoActions& autos, const TButtonSet& buttons, bool canContinue) {
  if (autos.Close && Has(buttons, TButton::Close)) return TButton::Close;
  if (autos.Restart && Has(buttons, TButton::Restart)) return TButton::Restart;
  if (autos.Continue && Has(buttons, TButton::Continue) && canContinue) return TButton::Continue;
  return std::nullopt;
}

bool ContinueDisabled(const TButtonSet& buttons, bool canContinue) {
  return !canContinue && Has(buttons, TButton::Continue) &&
         (Has(buttons, TButton::Restart) || Has(buttons, TButton::Close));
}

std::optional<TButton> FocusedButton(int focusedBtn, const TButtonSet& usable, std::optional<TButton> countdown) {
  if (countdown && Has(usable, *countdown)) return countdown;
  if (focusedBtn >= 0 && focusedBtn < kButtonCount && usable[size_t(focusedBtn)]) return TButton(focusedBtn);
  for (int i = 0; i < kButtonCount; ++i)
    if (usable[size_t(i)]) return TButton(i);
  return std::nullopt;
}

std::optional<TButton> ClosingAction(std::optional<TButton> focused, const TButtonSet& buttons, bool canContinue,
                                     bool simpleBox) {
  if (simpleBox) return ContinueAction(canContinue);
  if (focused == TButton::Continue) return ContinueAction(canContinue);
  if (focused == TButton::Restart || focused == TButton::Close) return focused;
  if (Has(buttons, TButton::Continue) && canContinue) return TButton::Continue;
  if (Has(buttons, TButton::Close)) return TButton::Close;
  if (Has(buttons, TButton::Restart)) return TButton::Restart;
  return std::nullopt;
}

int ButtonWidth(int captionWidth, bool simpleBox, int dpi) {
  int width = captionWidth + ScaleForDpi(39, dpi);
  return simpleBox ? std::max(width, ScaleForDpi(79, dpi)) : width;
}

int ButtonHeight(const TLayoutInput& in) { return ScaleForDpi(in.SimpleBox ? 23 : in.UglyBtns ? 26 : 22, in.Dpi); }

int IconSize(int dpi) { return ScaleForDpi(32, dpi); }

namespace {

struct TButtonBlock {
  int Width = 0, Height = 0;
  bool Stacked = false;
};

int IconColumn(const TLayoutInput& in) { return in.HasIcon ? IconSize(in.Dpi) + ScaleForDpi(kMargin, in.Dpi) : 0; }

// The buttons' total size: one row, or (both groups, several right-hand ones) two columns.
TButtonBlock MeasureButtons(const TLayoutInput& in) {
  int gap = ScaleForDpi(kGap, in.Dpi), h = ButtonHeight(in);
  TButtonBlock block;
  if (in.SimpleBox) {
    for (int i = 0; i < in.SimpleButtons; ++i)
      block.Width += ButtonWidth(in.SimpleCaptionWidth[size_t(i)], true, in.Dpi);
    block.Width += gap * std::max(0, in.SimpleButtons - 1);
    block.Height = h;
    return block;
  }
  int left = 0, right = 0, leftMax = 0, rightMax = 0, sum = 0;
  for (int i = 0; i < kButtonCount; ++i) {
    if (!in.Buttons[size_t(i)]) continue;
    int w = ButtonWidth(in.CaptionWidth[size_t(i)], false, in.Dpi);
    (IsRightHand(i) ? right : left) += 1;
    int& widest = IsRightHand(i) ? rightMax : leftMax;
    widest = std::max(widest, w);
    sum += w;
  }
  block.Stacked = left > 0 && right > 1;
  if (block.Stacked) {
    block.Width = leftMax + ScaleForDpi(kMargin, in.Dpi) * 2 + rightMax;
    int rows = std::max(left, right);
    block.Height = rows * h + (rows - 1) * gap;
  } else {
    int count = left + right;
    block.Width = sum + gap * std::max(0, count - 1) + (left && right ? ScaleForDpi(kMargin, in.Dpi) * 2 : 0);
    block.Height = count ? h : 0;
  }
  return block;
}

int ContentWidth(const TLayoutInput& in) {
  int width = std::max(ScaleForDpi(664, in.Dpi), MeasureButtons(in).Width);
  if (in.DetailsOpen && in.ScreenWidth > 0) {
    int limit = in.ScreenWidth - 5 * in.CaptionHeight - 2 * ScaleForDpi(kMargin, in.Dpi);
    width = std::max(MeasureButtons(in).Width, std::min(width, limit));
  }
  return width;
}

}  // namespace

int TextWrapWidth(const TLayoutInput& in) { return ContentWidth(in) - IconColumn(in); }

TLayout LayoutDialog(const TLayoutInput& in, int textWidth, int textHeight, int clientWidth, int clientHeight) {
  int m = ScaleForDpi(kMargin, in.Dpi), gap = ScaleForDpi(kGap, in.Dpi), h = ButtonHeight(in);
  int width = ContentWidth(in), iconColumn = IconColumn(in);
  TButtonBlock block = MeasureButtons(in);
  TLayout out;
  out.Stacked = block.Stacked;

  int icon = in.HasIcon ? IconSize(in.Dpi) : 0;
  if (in.HasIcon) out.Icon = {m, m, icon, icon};
  out.Text = {m + iconColumn, m, std::min(textWidth, width - iconColumn), textHeight};
  int y = m + std::max(textHeight, icon) + m;
  int detailsHeight = in.DetailsOpen ? ScaleForDpi(474, in.Dpi) : 0;
  out.ClientWidth = width + 2 * m;
  out.ClientHeight = y + detailsHeight + (in.DetailsOpen ? m : 0) + block.Height + m;

  // Only the open details view makes the window resizable: it takes what is added.
  int extraW = in.DetailsOpen ? std::max(0, clientWidth - out.ClientWidth) : 0;
  int extraH = in.DetailsOpen ? std::max(0, clientHeight - out.ClientHeight) : 0;
  if (in.DetailsOpen) {
    out.Details = {m, y, width + extraW, detailsHeight + extraH};
    y += out.Details.Height + m;
  }
  out.ClientWidth += extraW;
  out.ClientHeight += extraH;
  int right = m + width + extraW;

  if (in.SimpleBox) {
    int x = (out.ClientWidth - block.Width) / 2;
    for (int i = 0; i < in.SimpleButtons; ++i) {
      int w = ButtonWidth(in.SimpleCaptionWidth[size_t(i)], true, in.Dpi);
      out.SimpleButtons[size_t(i)] = {x, y, w, h};
      x += w + gap;
    }
    return out;
  }
  if (block.Stacked) {
    int leftW = 0, rightW = 0;
    for (int i = 0; i < kButtonCount; ++i)
      if (in.Buttons[size_t(i)])
        (IsRightHand(i) ? rightW : leftW) =
            std::max(IsRightHand(i) ? rightW : leftW, ButtonWidth(in.CaptionWidth[size_t(i)], false, in.Dpi));
    int leftY = y, rightY = y;
    for (int i = 0; i < kButtonCount; ++i) {
      if (!in.Buttons[size_t(i)]) continue;
      int& rowY = IsRightHand(i) ? rightY : leftY;
      out.Buttons[size_t(i)] = {IsRightHand(i) ? right - rightW : m, rowY, IsRightHand(i) ? rightW : leftW, h};
      rowY += h + gap;
    }
    return out;
  }
  // One row: the left group from the left edge, the right group ending at the right edge.
  int x = m;
  for (int i = 0; i < int(TButton::Continue); ++i) {
    if (!in.Buttons[size_t(i)]) continue;
    int w = ButtonWidth(in.CaptionWidth[size_t(i)], false, in.Dpi);
    out.Buttons[size_t(i)] = {x, y, w, h};
    x += w + gap;
  }
  x = right;
  for (int i = kButtonCount - 1; i >= int(TButton::Continue); --i) {
    if (!in.Buttons[size_t(i)]) continue;
    int w = ButtonWidth(in.CaptionWidth[size_t(i)], false, in.Dpi);
    x -= w;
    out.Buttons[size_t(i)] = {x, y, w, h};
    x -= gap;
  }
  return out;
}

}  // namespace vm::dialog
