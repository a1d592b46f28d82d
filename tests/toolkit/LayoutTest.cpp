// Covers toolkit/Layout: DPI scaling and anchors.
#include <gtest/gtest.h>

#include "toolkit/Layout.h"

namespace {

using vm::TRect;

TEST(Layout, ScalesDesignSizesToTheSystemDpi) {
  EXPECT_EQ(vm::ScaleForDpi(417, 96), 417);
  EXPECT_EQ(vm::ScaleForDpi(417, 120), 521) << "521.25 rounds down";
  EXPECT_EQ(vm::ScaleForDpi(11, 144), 17) << "16.5 rounds half up";
  EXPECT_EQ(vm::ScaleForDpi(-11, 144), -17) << "font heights are negative";
  EXPECT_EQ(vm::ScaleForDpi(TRect{8, 95, 97, 25}, 192), (TRect{16, 190, 194, 50}));
}

struct AnchorRow {
  const char* why;
  vm::TAnchors anchors;
  TRect expected;
};

TEST(Layout, AnchorsKeepDistancesToTheirEdges) {
  // A 417 x 128 client area grown to 517 x 178; the control sits at 120, 35, 289 x 54.
  const TRect design{120, 35, 289, 54};
  const AnchorRow rows[] = {
      {"left and top: stays", vm::akLeft | vm::akTop, {120, 35, 289, 54}},
      {"left, top, right: stretches in width", vm::akLeft | vm::akTop | vm::akRight, {120, 35, 389, 54}},
      {"all four: stretches both ways", vm::akLeft | vm::akTop | vm::akRight | vm::akBottom, {120, 35, 389, 104}},
      {"right and bottom: moves", vm::akRight | vm::akBottom, {220, 85, 289, 54}},
      {"left, right, bottom: stretches and moves down", vm::akLeft | vm::akRight | vm::akBottom, {120, 85, 389, 54}},
  };
  for (const auto& row : rows)
    EXPECT_EQ(vm::AnchoredRect(design, 417, 128, 517, 178, row.anchors), row.expected) << row.why;
}

TEST(Layout, StretchedControlNeverGetsNegativeSize) {
  TRect r =
      vm::AnchoredRect({120, 35, 289, 54}, 417, 128, 100, 50, vm::akLeft | vm::akTop | vm::akRight | vm::akBottom);
  EXPECT_EQ(r.Width, 0);
  EXPECT_EQ(r.Height, 0);
}

}  // namespace
