#pragma once

#include <atomic>

#include "filters/simple_filter.h"

namespace grinsnap {

// The relief of a tile grid of period a and height b on a width x height
// one-channel float map: in every row y with y mod a equal to a - 3, a - 2 or
// a - 1 the whole row is -b, 0 or +b; in the other rows the columns x with
// x mod a equal to a - 3 are -b and those with a - 1 are +b; the rest is 0.
// A period below 1 gives a flat map.
cv::Mat GridRelief(cv::Size size, int a, int b);

// A raised tile grid over src (8-bit BGR) into dst (created at src's size):
// the relief is built at the picture's size, or scaled down to fit 1024 x
// 1024 for larger pictures, and every pixel (x, y) adds the relief sampled at
// (x / W, y / H) (interpolated, clamped) to its three channels, truncated
// toward zero and clamped to 0..255. Returns false when cancel stopped it.
bool GridKernel(const cv::Mat& src, cv::Mat& dst, int a, int b, const std::atomic<bool>* cancel);

// Raised tiles ("GridFilter"): block entry 0 is the period a, entry 1 the
// relief height b, both truncated to integers.
class CF_Grid : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "GridFilter";
  static constexpr BlockParam kPeriod{0, "tile size", 5.0f, 1.0f, 64.0f};
  static constexpr BlockParam kRelief{1, "relief", 3.0f, 0.0f, 50.0f};
  static constexpr BlockParam kParams[] = {kPeriod, kRelief};
  static constexpr FilterTraits kTraits{.params = kParams};

  CF_Grid();

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;
};

}  // namespace grinsnap
