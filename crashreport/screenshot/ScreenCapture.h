// TakeScreenshot: photographs the screen at the moment of an exception.
// With `scrShotAppOnly` only this process's visible, not minimised top-level windows are
// taken: the picture is cut to their bounding rectangle, starts white, and only the parts of
// them that no other window covers are copied, so other programs never appear in a report.
// The mouse cursor is drawn in. Windows only (ScreenCapture_win32.cpp).
// Tests: tests/crashreport/screenshot/ScreenCaptureTest_win32.cpp (under Wine and Xvfb).
#pragma once

#include <optional>

#include "crashreport/screenshot/INVBitmap.h"

namespace vm {

// No picture when there is no screen device, nothing of ours is visible, or the copy fails.
std::optional<TINVBitmap> TakeScreenshot(bool scrShotAppOnly);

}  // namespace vm
