// WuPalette: chooses up to 256 colours for a picture with Xiaolin Wu's colour quantiser.
// Pixels are counted in a 33 x 33 x 33 histogram of the top five bits of each channel, with
// the running sums of weight, red, green, blue and squared length; boxes of that colour
// space are then cut one at a time, always the box of greatest variance, at the plane that
// leaves the two halves with the least total squared error.
// Tests: tests/crashreport/screenshot/WuQuantizerTest.cpp (against a naive median cut).
#pragma once

#include <vector>

#include "crashreport/screenshot/INVBitmap.h"

namespace vm {

// The mean colour of every non-empty box; at most `maxColours` (1..256) entries, fewer when
// the picture has fewer distinguishable colours.
std::vector<TPixel> WuPalette(const TINVBitmap& picture, int maxColours = 256);

}  // namespace vm
