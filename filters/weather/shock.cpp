// Shock waves: rings of compressed air spreading from a point, as around
// an explosion or a supersonic clap.
//
// Each ring is a thin shell where the air is denser: light passing through
// it bends, so the photo behind the shell is pushed outwards at its outer
// side and pulled in at its inner side, a band of magnified, stretched
// picture with a squeezed bright front. Three rings at 0.2, 0.42 and 0.68
// of the distance to the farthest corner, the outer ones stronger (they are
// the fresher, louder fronts in the picture) and wider (a wave spreads as it
// travels). A ring's radial shift at the distance s = (r - R) / w across it
// is A s e^(1/2 - s^2) sqrt 2, at most A at s = +-1/sqrt 2; A is the
// strength (entry 0) times a quarter of the shorter side times the ring's
// share. Where the reads converge (the shift grows with r) the light is
// focused and the ring brightens; where they spread it dims.
//
// Denser air bends blue light a little more than red: the three channels
// are read with the shift scaled by 1.08, 1 and 0.92, a faint colour fringe on
// every front.
//
// Every pixel depends on its own position alone: rows run in parallel.
#include "filters/weather/shock.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "filters/kernel_support.h"

namespace grinsnap {

namespace {

// Width of a ring as a fraction of the shorter side, growing with its radius.
float RingWidth(float radius, float farthest, float shorter) {
  return shorter * (0.016f + 0.035f * radius / std::max(farthest, 1.0f));
}

// Blue, green, red: how much of the shift each channel takes.
constexpr float kDispersion[3] = {1.08f, 1.0f, 0.92f};

}  // namespace

ShockDisplacement ShockAt(float r, float strength, float farthest, float shorter) {
  ShockDisplacement total{0.0f, 0.0f};
  const float peak = std::sqrt(2.0f) * std::exp(0.5f);
  for (const ShockRing& ring : kShockRings) {
    const float radius = ring.radius * farthest;
    const float w = std::max(RingWidth(radius, farthest, shorter), 0.5f);
    const float s = (r - radius) / w;
    if (std::fabs(s) > 3.0f) continue;
    const float a = strength * 0.25f * shorter * ring.share;
    const float bell = std::exp(-s * s);
    total.shift += a * peak * s * bell;
    total.slope += a * peak * (1.0f - 2.0f * s * s) * bell / w;
  }
  return total;
}

bool ShockKernel(const cv::Mat& src, cv::Mat& dst, float strength, float cx, float cy,
                 const std::atomic<bool>* cancel) {
  CV_Assert(src.type() == CV_8UC3);
  const cv::Mat in = Unaliased(src, dst);
  dst.create(in.size(), CV_8UC3);
  if (in.empty()) return true;
  const int width = in.cols, rows = in.rows;
  if (!std::isfinite(strength)) strength = 0.0f;
  strength = std::clamp(strength, -4.0f, 4.0f);
  // A centre far outside the picture is held a picture's size away.
  cx = std::isfinite(cx) ? std::clamp(cx, -2.0f * width, 3.0f * width) : 0.5f * width;
  cy = std::isfinite(cy) ? std::clamp(cy, -2.0f * rows, 3.0f * rows) : 0.5f * rows;
  const float shorter = static_cast<float>(std::min(width, rows));
  float farthest = 0.0f;
  for (const float x : {0.0f, static_cast<float>(width)})
    for (const float y : {0.0f, static_cast<float>(rows)}) farthest = std::max(farthest, std::hypot(x - cx, y - cy));
  // The shift and its slope depend on the distance alone: they are
  // tabulated every quarter pixel out to the farthest corner and read back
  // with linear interpolation.
  constexpr float kSteps = 4.0f;
  const int entries = static_cast<int>(farthest * kSteps) + 2;
  std::vector<ShockDisplacement> table(static_cast<std::size_t>(entries));
  for (int i = 0; i < entries; ++i) table[i] = ShockAt(static_cast<float>(i) / kSteps, strength, farthest, shorter);
  // Each channel reads through its own map: the planes are split once, and
  // bands of rows work out their three maps, fetch each plane with one
  // remap (bilinear, clamped) and light the result. Every pixel depends on
  // its own position alone: bands run in parallel.
  std::vector<cv::Mat> planes;
  cv::split(in, planes);
  constexpr int kBandRows = 16;
  const int bands = (rows + kBandRows - 1) / kBandRows;
  return ParallelRows(bands, cancel, [&](int band) {
    const int top = band * kBandRows, bottom = std::min(top + kBandRows, rows);
    const int n = bottom - top;
    // Each thread keeps its band's buffers from one band to the next.
    thread_local cv::Mat maps[3], lights, seen[3];
    for (cv::Mat& m : maps) m.create(n, width, CV_32FC2);
    lights.create(n, width, CV_32FC1);
    for (int y = top; y < bottom; ++y) {
      cv::Vec2f* to[3] = {maps[0].ptr<cv::Vec2f>(y - top), maps[1].ptr<cv::Vec2f>(y - top), maps[2].ptr<cv::Vec2f>(y - top)};
      float* gain = lights.ptr<float>(y - top);
      const float dy = static_cast<float>(y) + 0.5f - cy;
      for (int x = 0; x < width; ++x) {
        const float dx = static_cast<float>(x) + 0.5f - cx;
        const float r = std::sqrt(dx * dx + dy * dy);
        const float at = std::min(r * kSteps, static_cast<float>(entries - 1));
        const int i = std::min(static_cast<int>(at), entries - 2);
        const float f = at - static_cast<float>(i);
        const float shift = table[i].shift + f * (table[i + 1].shift - table[i].shift);
        const float slope = table[i].slope + f * (table[i + 1].slope - table[i].slope);
        const float inward = r > 0.0f ? shift / r : 0.0f;
        for (int ch = 0; ch < 3; ++ch) {
          const float k = inward * kDispersion[ch];
          to[ch][x] = {static_cast<float>(x) - dx * k, static_cast<float>(y) - dy * k};
        }
        gain[x] = std::clamp(1.0f + 0.45f * slope, 0.7f, 1.45f);
      }
    }
    for (int ch = 0; ch < 3; ++ch)
      cv::remap(planes[static_cast<std::size_t>(ch)], seen[ch], maps[ch], cv::noArray(), cv::INTER_LINEAR,
                cv::BORDER_REPLICATE);
    for (int y = top; y < bottom; ++y) {
      const std::uint8_t* s[3] = {seen[0].ptr<std::uint8_t>(y - top), seen[1].ptr<std::uint8_t>(y - top),
                                  seen[2].ptr<std::uint8_t>(y - top)};
      const float* gain = lights.ptr<float>(y - top);
      std::uint8_t* out = dst.ptr<std::uint8_t>(y);
      for (int x = 0; x < width; ++x, out += 3)
        for (int ch = 0; ch < 3; ++ch) out[ch] = ClampToByte(static_cast<float>(s[ch][x]) * gain[x]);
    }
  });
}

CF_Shock::CF_Shock() : CF_SimpleFilter(kClassName, kTraits) {}

bool CF_Shock::RunKernel(const cv::Mat& in, cv::Mat& out) {
  return ShockKernel(in, out, Param(kStrength), Var(7, 0.5f) * static_cast<float>(in.cols),
                     Var(8, 0.5f) * static_cast<float>(in.rows), StopFlag());
}

}  // namespace grinsnap
