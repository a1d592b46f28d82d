#include "crashreport/screenshot/WuQuantizer.h"

#include <memory>

namespace vm {
namespace {

constexpr int kSide = 33;  // 32 cells per channel plus a zero plane for the running sums
constexpr int kCells = kSide * kSide * kSide;

// The moments of a set of pixels: how many, the sums of their channels and of their squared
// lengths. Integers keep the running sums exact for any picture we accept.
struct TMoment {
  std::int64_t W = 0, R = 0, G = 0, B = 0, Sq = 0;

  TMoment& operator+=(const TMoment& o) {
    W += o.W, R += o.R, G += o.G, B += o.B, Sq += o.Sq;
    return *this;
  }
  TMoment& operator-=(const TMoment& o) {
    W -= o.W, R -= o.R, G -= o.G, B -= o.B, Sq -= o.Sq;
    return *this;
  }
  friend TMoment operator+(TMoment a, const TMoment& b) { return a += b; }
  friend TMoment operator-(TMoment a, const TMoment& b) { return a -= b; }
  // Squared length of the channel sums over the weight: the part of the error a cut removes.
  double Spread() const { return (double(R) * R + double(G) * G + double(B) * B) / double(W); }
};

// A box of histogram cells: lower bounds exclusive, upper bounds inclusive.
struct TBox {
  int R0 = 0, R1 = kSide - 1, G0 = 0, G1 = kSide - 1, B0 = 0, B1 = kSide - 1;
  int Cells() const { return (R1 - R0) * (G1 - G0) * (B1 - B0); }
};

enum class TAxis { Red, Green, Blue };

class TWuHistogram {
public:
  explicit TWuHistogram(const TINVBitmap& picture) : FM(new TMoment[kCells]) {
    Count(picture);
    Accumulate();
  }

  // The moments of every pixel inside the box, by inclusion and exclusion of the corners.
  TMoment Volume(const TBox& b) const {
    return At(b.R1, b.G1, b.B1) - At(b.R1, b.G1, b.B0) - At(b.R1, b.G0, b.B1) + At(b.R1, b.G0, b.B0) -
           At(b.R0, b.G1, b.B1) + At(b.R0, b.G1, b.B0) + At(b.R0, b.G0, b.B1) - At(b.R0, b.G0, b.B0);
  }

  // The box's moments up to plane `cut` of `axis` are Bottom(box, axis) + Top(box, axis, cut).
  TMoment Bottom(const TBox& b, TAxis axis) const {
    switch (axis) {
      case TAxis::Red:
        return At(b.R0, b.G1, b.B0) + At(b.R0, b.G0, b.B1) - At(b.R0, b.G1, b.B1) - At(b.R0, b.G0, b.B0);
      case TAxis::Green:
        return At(b.R1, b.G0, b.B0) + At(b.R0, b.G0, b.B1) - At(b.R1, b.G0, b.B1) - At(b.R0, b.G0, b.B0);
      default:
        return At(b.R1, b.G0, b.B0) + At(b.R0, b.G1, b.B0) - At(b.R1, b.G1, b.B0) - At(b.R0, b.G0, b.B0);
    }
  }
  TMoment Top(const TBox& b, TAxis axis, int cut) const {
    switch (axis) {
      case TAxis::Red:
        return At(cut, b.G1, b.B1) + At(cut, b.G0, b.B0) - At(cut, b.G1, b.B0) - At(cut, b.G0, b.B1);
      case TAxis::Green:
        return At(b.R1, cut, b.B1) + At(b.R0, cut, b.B0) - At(b.R1, cut, b.B0) - At(b.R0, cut, b.B1);
      default:
        return At(b.R1, b.G1, cut) + At(b.R0, b.G0, cut) - At(b.R1, b.G0, cut) - At(b.R0, b.G1, cut);
    }
  }

  // The squared error of the box's pixels around their mean.
  double Variance(const TBox& b) const {
    const TMoment m = Volume(b);
    return m.W ? double(m.Sq) - m.Spread() : 0.0;
  }

private:
  static int Index(int r, int g, int b) { return (r * kSide + g) * kSide + b; }
  const TMoment& At(int r, int g, int b) const { return FM[Index(r, g, b)]; }

  void Count(const TINVBitmap& picture) {
    // Screens are mostly runs of one colour: count a run at once.
    for (int y = 0; y < picture.Height(); ++y) {
      const TPixel* row = picture.Row(y);
      for (int x = 0; x < picture.Width();) {
        const TPixel p = row[x] & 0xFFFFFF;
        int run = 1;
        while (x + run < picture.Width() && (row[x + run] & 0xFFFFFF) == p) ++run;
        x += run;
        const std::int64_t r = RedOf(p), g = GreenOf(p), b = BlueOf(p);
        TMoment& m = FM[Index(int(r >> 3) + 1, int(g >> 3) + 1, int(b >> 3) + 1)];
        m.W += run, m.R += r * run, m.G += g * run, m.B += b * run;
        m.Sq += (r * r + g * g + b * b) * run;
      }
    }
  }

  // Turns the cell counts into running sums over all three axes, so that any box's moments
  // come from eight corners.
  void Accumulate() {
    for (int r = 1; r < kSide; ++r) {
      TMoment area[kSide];
      for (int g = 1; g < kSide; ++g) {
        TMoment line;
        for (int b = 1; b < kSide; ++b) {
          line += FM[Index(r, g, b)];
          area[b] += line;
          FM[Index(r, g, b)] = FM[Index(r - 1, g, b)] + area[b];
        }
      }
    }
  }

  std::unique_ptr<TMoment[]> FM;
};

struct TBestCut {
  double Gain = 0.0;
  int Plane = -1;
};

// The plane along `axis` that leaves the two halves with the least total squared error.
TBestCut Maximize(const TWuHistogram& h, const TBox& box, TAxis axis, int first, int last, const TMoment& whole) {
  const TMoment base = h.Bottom(box, axis);
  TBestCut best;
  for (int cut = first; cut < last; ++cut) {
    const TMoment half = base + h.Top(box, axis, cut);
    if (half.W == 0) continue;
    const TMoment other = whole - half;
    if (other.W == 0) continue;
    const double gain = half.Spread() + other.Spread();
    if (gain > best.Gain) best = {gain, cut};
  }
  return best;
}

// Cuts `box` in two along its best plane; false when no plane separates any pixels.
bool Cut(const TWuHistogram& h, TBox& box, TBox& second) {
  const TMoment whole = h.Volume(box);
  const TBestCut red = Maximize(h, box, TAxis::Red, box.R0 + 1, box.R1, whole);
  const TBestCut green = Maximize(h, box, TAxis::Green, box.G0 + 1, box.G1, whole);
  const TBestCut blue = Maximize(h, box, TAxis::Blue, box.B0 + 1, box.B1, whole);
  second = box;
  if (red.Gain >= green.Gain && red.Gain >= blue.Gain) {
    if (red.Plane < 0) return false;
    box.R1 = second.R0 = red.Plane;
  } else if (green.Gain >= blue.Gain) {
    box.G1 = second.G0 = green.Plane;
  } else {
    box.B1 = second.B0 = blue.Plane;
  }
  return true;
}

}  // namespace

std::vector<TPixel> WuPalette(const TINVBitmap& picture, int maxColours) {
  if (maxColours < 1 || maxColours > 256) maxColours = 256;
  const TWuHistogram h(picture);
  std::vector<TBox> boxes(1);
  std::vector<double> variance(1, 0.0);
  boxes.reserve(std::size_t(maxColours));
  std::size_t next = 0;
  while (boxes.size() < std::size_t(maxColours)) {
    TBox second;
    if (Cut(h, boxes[next], second)) {
      boxes.push_back(second);
      variance.push_back(0.0);
      // A box of one cell cannot be cut again, however spread its pixels are.
      variance[next] = boxes[next].Cells() > 1 ? h.Variance(boxes[next]) : 0.0;
      variance.back() = second.Cells() > 1 ? h.Variance(second) : 0.0;
    } else {
      variance[next] = 0.0;
    }
    next = 0;
    for (std::size_t i = 1; i < boxes.size(); ++i)
      if (variance[i] > variance[next]) next = i;
    if (variance[next] <= 0.0) break;
  }

  std::vector<TPixel> palette;
  for (const TBox& box : boxes) {
    const TMoment m = h.Volume(box);
    if (m.W == 0) continue;
    const auto mean = [&](std::int64_t sum) { return unsigned((sum + m.W / 2) / m.W); };
    palette.push_back(MakePixel(mean(m.R), mean(m.G), mean(m.B)));
  }
  return palette;
}

}  // namespace vm
