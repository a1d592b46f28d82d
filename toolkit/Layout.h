// Window layout kept apart from handles: design sizes at 96 DPI, scaling to the system's
// DPI, and anchors that keep a control's distances to the edges it is anchored to.
// Portable, so that the rules are tested on the host.
#pragma once

namespace vm {

struct TRect {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  int Right() const { return Left + Width; }
  int Bottom() const { return Top + Height; }
  bool operator==(const TRect&) const = default;
};

enum TAnchor : unsigned { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };
using TAnchors = unsigned;
constexpr TAnchors kDefaultAnchors = akLeft | akTop;

// `value` designed at 96 pixels per inch, on a display of `dpi`, rounded to nearest.
int ScaleForDpi(int value, int dpi);
TRect ScaleForDpi(const TRect& r, int dpi);

// Where a control placed at `design` in a client area of `designClient` size goes when the
// client area is `client` in size. Anchored left and right it stretches; anchored right
// only it moves; anchored to neither it keeps its centre proportionally, as toolkits do.
TRect AnchoredRect(const TRect& design, int designClientWidth, int designClientHeight, int clientWidth,
                   int clientHeight, TAnchors anchors);

}  // namespace vm
