#pragma once

#include <atomic>

#include "filters/simple_filter.h"

namespace grinsnap {

// A lens bulge around (cx, cy) (pixels, continuous: pixel x covers x .. x + 1)
// from src (8-bit BGR) into dst (created at src's size): with R =
// a sqrt(W^2 + H^2) / 2, a pixel whose centre lies at distance d < R from the
// point reads src (interpolated, clamped) at distance d' = R (d / R)^p along
// the same direction; the others keep src. Sampled values are rounded, so
// that p = 1 gives back src exactly despite the rounding of the positions.
// Returns false when cancel stopped it.
bool PunchKernel(const cv::Mat& src, cv::Mat& dst, float a, float p, float cx, float cy,
                 const std::atomic<bool>* cancel);

// A bulge (p > 1) or a pinch (p < 1) around the template's point
// ("PunchFilter"). Block entry 0 is a, the radius as a fraction of half the
// diagonal; entry 1 is p; the point (entries 7 and 8) is the centre, as
// fractions of the size.
class CF_Punch : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "PunchFilter";
  static constexpr BlockParam kRadius{0, "radius", 0.5f, 0.0f, 1.0f};
  static constexpr BlockParam kPower{1, "power", 2.0f, 0.2f, 4.0f};
  static constexpr BlockParam kParams[] = {kRadius, kPower};
  static constexpr FilterTraits kTraits{.params = kParams};

  CF_Punch();

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;
};

}  // namespace grinsnap
