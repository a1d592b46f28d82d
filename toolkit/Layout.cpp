#include "toolkit/Layout.h"

namespace vm {

int ScaleForDpi(int value, int dpi) {
  long long scaled = (long long)value * dpi;
  return int(scaled >= 0 ? (scaled + 48) / 96 : -((-scaled + 48) / 96));
}

TRect ScaleForDpi(const TRect& r, int dpi) {
  return {ScaleForDpi(r.Left, dpi), ScaleForDpi(r.Top, dpi), ScaleForDpi(r.Width, dpi), ScaleForDpi(r.Height, dpi)};
}

namespace {

// One axis: position and size along it, given whether the near and far edges are anchored.
void AnchorAxis(int designPos, int designSize, int designClient, int client, bool nearEdge, bool farEdge, int& pos,
                int& size) {
  int farGap = designClient - (designPos + designSize);
  if (nearEdge && farEdge) {
    pos = designPos;
    size = client - farGap - designPos;
    if (size < 0) size = 0;
  } else if (farEdge) {
    pos = client - farGap - designSize;
    size = designSize;
  } else if (nearEdge) {
    pos = designPos;
    size = designSize;
  } else {
    int centre = designClient > 0 ? (designPos * 2 + designSize) * client / (designClient * 2) : designPos;
    pos = centre - designSize / 2;
    size = designSize;
  }
}

}  // namespace

TRect AnchoredRect(const TRect& design, int designClientWidth, int designClientHeight, int clientWidth,
                   int clientHeight, TAnchors anchors) {
  TRect r;
  AnchorAxis(design.Left, design.Width, designClientWidth, clientWidth, anchors & akLeft, anchors & akRight, r.Left,
             r.Width);
  AnchorAxis(design.Top, design.Height, designClientHeight, clientHeight, anchors & akTop, anchors & akBottom, r.Top,
             r.Height);
  return r;
}

}  // namespace vm
