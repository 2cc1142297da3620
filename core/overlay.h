#pragma once

#include <cstdint>

namespace grinsnap {

struct ViewRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool operator==(const ViewRect&) const = default;
};

// Where the preview shows the output: the rectangle of the displayed picture
// in view pixels, its scale (view pixels per image pixel), and whether the
// preview shows the whole picture fitted (not zoomed in).
struct ViewGeometry {
  ViewRect imageRect;
  double scale = 1.0;
  bool fitted = true;
};

// A colour as 0x00BBGGRR.
using ColorRef = std::uint32_t;
constexpr ColorRef MakeColorRef(int r, int g, int b) {
  return static_cast<ColorRef>(r & 0xFF) | (static_cast<ColorRef>(g & 0xFF) << 8) |
         (static_cast<ColorRef>(b & 0xFF) << 16);
}

enum class PenStyle { Solid, Dash };

struct Pen {
  PenStyle style = PenStyle::Solid;
  int width = 1;
  ColorRef color = 0;
  bool operator==(const Pen&) const = default;
};

// The drawing calls templates make on the preview; the Qt layer implements
// them, tests record them.
class OverlayPainter {
public:
  virtual ~OverlayPainter() = default;
  // Selects a pen and returns the one selected before.
  virtual Pen SelectPen(const Pen& pen) = 0;
  // Outline-only drawing from now on.
  virtual void SelectNullBrush() = 0;
  virtual void DrawRectangle(const ViewRect& rect) = 0;
};

enum class CursorShape { Arrow, SizeAll, SizeWE, SizeNS, SizeNESW, SizeNWSE };

// One mouse event over the preview, in view pixels.
struct MouseInput {
  int x = 0;
  int y = 0;
  bool buttonDown = false;
};

}  // namespace grinsnap
