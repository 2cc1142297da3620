#include "app/preview_view.h"

#include <algorithm>
#include <cmath>

namespace grinsnap {

namespace {

// Clamps to lo..hi where the lower bound wins when the range is empty: a
// picture narrower than the range the view would move it in stays at 0.
template <typename T>
T ClampLowWins(T v, T lo, T hi) {
  return std::max(lo, std::min(v, hi));
}

// Truncation toward zero of a real value, kept inside the int range.
int TruncToInt(double v) {
  if (!(v == v)) return 0;
  return static_cast<int>(std::clamp(std::trunc(v), -2147483648.0, 2147483647.0));
}

int RoundToInt(double v) {
  if (!(v == v)) return 0;
  return static_cast<int>(std::clamp(std::round(v), -2147483648.0, 2147483647.0));
}

}  // namespace

void VisibleFractions(double s, int a, int b, int wc, int hc, double* j, double* k) {
  *j = 0;
  *k = 0;
  if (a <= 0 || b <= 0 || wc <= 0 || hc <= 0) return;
  const double ra = static_cast<double>(a) / wc;
  const double rb = static_cast<double>(b) / hc;
  // The dimension that limits the fit shows the fraction s; the other one
  // shows more of the picture in proportion.
  if (ra > rb) {
    *j = s;
    *k = s * ra / rb;
  } else {
    *j = s * rb / ra;
    *k = s;
  }
  *j = std::min(*j, 1.0);
  *k = std::min(*k, 1.0);
}

void PreviewView::Reset() {
  s_ = 1.0;
  ox_ = 0.0;
  oy_ = 0.0;
}

void PreviewView::SetState(double s, double ox, double oy) {
  s_ = s;
  ox_ = ox;
  oy_ = oy;
}

const PreviewLayout& PreviewView::Layout(int a, int b, int wc, int hc) {
  layout_ = PreviewLayout{};
  if (a <= 0 || b <= 0 || wc <= 0 || hc <= 0) return layout_;
  // A state that is not a number (a restored view gone bad) starts over.
  if (!std::isfinite(s_) || s_ <= 0) s_ = kMaxZoom;
  if (!std::isfinite(ox_)) ox_ = 0;
  if (!std::isfinite(oy_)) oy_ = 0;

  const double ra = static_cast<double>(a) / wc;
  const double rb = static_cast<double>(b) / hc;
  const double r = std::max(ra, rb);  // image pixels per window pixel when the whole picture fits

  // The visible source rectangle. At least one pixel, so that the
  // magnification below stays finite in a tiny window.
  int c = std::clamp(RoundToInt(s_ * wc * r), 1, a);
  int d = std::clamp(RoundToInt(s_ * hc * r), 1, b);
  int left = ClampLowWins(TruncToInt(a * std::clamp(ox_, -1.0, 2.0)), 0, a - c);
  int top = ClampLowWins(TruncToInt(b * std::clamp(oy_, -1.0, 2.0)), 0, b - d);

  double j = 0, k = 0;
  VisibleFractions(s_, a, b, wc, hc, &j, &k);
  ox_ = ClampLowWins(ox_, 0.0, 1.0 - j);
  oy_ = ClampLowWins(oy_, 0.0, 1.0 - k);

  const double m = std::min(static_cast<double>(wc) / c, static_cast<double>(hc) / d);
  layout_.magnification = m;
  if (m > kMaxMagnification) {
    // Widen the visible part about its centre until it would be shown at
    // the limit. Where the picture is already wholly visible the widening
    // only records that the picture is shown smaller than fitted: s is
    // kept at the zoom that shows it at the limit, so that repeated steps
    // do not let it grow without bound.
    const double g = m / kMaxMagnification;
    const double grown = s_ * g;
    const double bound = std::max(kMaxZoom, 1.0 / (kMaxMagnification * r));
    s_ = grown > bound * (1.0 + 1e-9) ? bound : grown;
    const int c2 = std::min(TruncToInt(c * g), a);
    const int d2 = std::min(TruncToInt(d * g), b);
    left = ClampLowWins(TruncToInt(left - (g - 1.0) * c / 2.0), 0, a - c2 - 1);
    top = ClampLowWins(TruncToInt(top - (g - 1.0) * d / 2.0), 0, b - d2 - 1);
    ox_ = ClampLowWins(ox_ - j * (g - 1.0) / 2.0, 0.0, 1.0 - g * j);
    oy_ = ClampLowWins(oy_ - k * (g - 1.0) / 2.0, 0.0, 1.0 - g * k);
    c = c2;
    d = d2;
    layout_.limited = true;
  }

  layout_.valid = true;
  layout_.srcLeft = left;
  layout_.srcTop = top;
  layout_.srcWidth = c;
  layout_.srcHeight = d;
  VisibleFractions(s_, a, b, wc, hc, &layout_.visibleX, &layout_.visibleY);

  double q = std::min(static_cast<double>(wc) / c, static_cast<double>(hc) / d);
  // A wholly visible small picture is shown at the limit, not fitted.
  if (c == a && d == b) q = std::min(q, kMaxMagnification);
  layout_.scale = q;

  const int w = std::min(RoundToInt(c * q), wc);
  const int h = std::min(RoundToInt(d * q), hc);
  layout_.dest.left = (wc - w) / 2;
  layout_.dest.top = (hc - h) / 2;
  layout_.dest.right = layout_.dest.left + w;
  layout_.dest.bottom = layout_.dest.top + h;
  layout_.image.left = layout_.dest.left - RoundToInt(left * q);
  layout_.image.top = layout_.dest.top - RoundToInt(top * q);
  layout_.image.right = layout_.image.left + RoundToInt(a * q);
  layout_.image.bottom = layout_.image.top + RoundToInt(b * q);
  return layout_;
}

const PreviewLayout& PreviewView::ZoomStep(bool in, int px, int py, int a, int b, int wc, int hc) {
  double j = 0, k = 0;
  VisibleFractions(s_, a, b, wc, hc, &j, &k);
  const double old = (std::isfinite(s_) && s_ > 0) ? s_ : kMaxZoom;
  s_ = in ? std::max(old / kZoomFactor, kMinZoom) : std::min(old * kZoomFactor, kMaxZoom);
  // Move the origin so that the picture point under (px, py) stays there.
  const double f = (s_ - old) / old;
  if (wc > 0 && hc > 0) {
    ox_ -= j * f * px / wc;
    oy_ -= k * f * py / hc;
  }
  return Layout(a, b, wc, hc);
}

const PreviewLayout& PreviewView::Pan(int dx, int dy, int a, int b, int wc, int hc) {
  if (wc > 0 && hc > 0) {
    double j = 0, k = 0;
    VisibleFractions(s_, a, b, wc, hc, &j, &k);
    ox_ = ClampLowWins(ox_ - (static_cast<double>(dx) / wc) * j, 0.0, 1.0 - j);
    oy_ = ClampLowWins(oy_ - (static_cast<double>(dy) / hc) * k, 0.0, 1.0 - k);
  }
  return Layout(a, b, wc, hc);
}

bool PreviewView::WindowToImage(double x, double y, double* ix, double* iy) const {
  if (!layout_.valid || layout_.scale <= 0) return false;
  *ix = layout_.srcLeft + (x - layout_.dest.left) / layout_.scale;
  *iy = layout_.srcTop + (y - layout_.dest.top) / layout_.scale;
  return true;
}

bool PreviewView::ImageToWindow(double ix, double iy, double* x, double* y) const {
  if (!layout_.valid || layout_.scale <= 0) return false;
  *x = layout_.dest.left + (ix - layout_.srcLeft) * layout_.scale;
  *y = layout_.dest.top + (iy - layout_.srcTop) * layout_.scale;
  return true;
}

}  // namespace grinsnap
