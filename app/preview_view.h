#pragma once

#include "core/overlay.h"

namespace grinsnap {

// What the preview shows of a picture for one zoom state and window size.
struct PreviewLayout {
  // False when the picture or the window has no area; nothing is drawn then.
  bool valid = false;
  // The visible part of the picture, in image pixels.
  int srcLeft = 0;
  int srcTop = 0;
  int srcWidth = 0;
  int srcHeight = 0;
  // The visible part as fractions of the picture's width and height (at most 1).
  double visibleX = 0;
  double visibleY = 0;
  // Screen pixels per image pixel the visible part would need to fill the
  // window, before the magnification limit.
  double magnification = 0;
  // Whether the magnification limit widened the visible part.
  bool limited = false;
  // Screen pixels per image pixel as drawn.
  double scale = 0;
  // Where the visible part is drawn, in window pixels (centred).
  ViewRect dest;
  // Where the whole picture lies in window pixels at this zoom (it reaches
  // outside the window when zoomed in); the rectangle templates map their
  // on-image controls to.
  ViewRect image;
};

// The preview's zoom and pan state and the geometry that follows from it,
// free of any window system. The zoom s runs from 0.01 (closest) to 1 (the
// whole picture fitted to the window); the origin (ox, oy) is the top-left of
// the visible part as fractions of the picture. A small picture in a big
// window is never shown at more than 1.9 screen pixels per image pixel: the
// layout then widens the visible part, which may leave s above 1.
class PreviewView {
public:
  static constexpr double kZoomFactor = 1.05;
  static constexpr double kMinZoom = 0.01;
  static constexpr double kMaxZoom = 1.0;
  static constexpr double kMaxMagnification = 1.9;

  double Zoom() const { return s_; }
  double OriginX() const { return ox_; }
  double OriginY() const { return oy_; }
  // Back to the whole picture: s = 1, origin 0, 0.
  void Reset();
  // Sets the state as it is (restoring a view; tests). Layout clamps it.
  void SetState(double s, double ox, double oy);

  // Lays a picture of a x b pixels out in a window of wc x hc pixels; clamps
  // the origin and applies the magnification limit, which may change the
  // state. The result is kept as Current().
  const PreviewLayout& Layout(int a, int b, int wc, int hc);
  const PreviewLayout& Current() const { return layout_; }

  // One zoom step (in: closer) about the window point (px, py), then the layout.
  const PreviewLayout& ZoomStep(bool in, int px, int py, int a, int b, int wc, int hc);
  // Moves the view with the pointer by (dx, dy) window pixels, then the layout.
  const PreviewLayout& Pan(int dx, int dy, int a, int b, int wc, int hc);

  // The hand cursor shows while the view is not at the fitted zoom.
  bool HandCursor() const { return s_ != kMaxZoom; }

  // The geometry templates receive for overlays and mouse editing.
  ViewGeometry Geometry() const { return {layout_.image, layout_.scale, s_ >= kMaxZoom}; }
  // Window point to picture pixel (real-valued) and back, for the current
  // layout; false (and nothing written) without a valid layout.
  bool WindowToImage(double x, double y, double* ix, double* iy) const;
  bool ImageToWindow(double ix, double iy, double* x, double* y) const;

private:
  double s_ = 1.0;
  double ox_ = 0.0;
  double oy_ = 0.0;
  PreviewLayout layout_;
};

// The visible fractions (J, K) of an a x b picture in a wc x hc window at
// zoom s, each at most 1. Both 0 when a size has no area.
void VisibleFractions(double s, int a, int b, int wc, int hc, double* j, double* k);

}  // namespace grinsnap
