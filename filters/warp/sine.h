#pragma once

#include <atomic>

#include <opencv2/core.hpp>

#include "filters/simple_filter.h"

namespace grinsnap {

// Where output pixel (x, y) of a width x height picture reads the photo:
// with z = k (2x / W - 1) + i k (2y / H - 1), w = arcsin z =
// -i log(i z + sqrt(1 - z^2)) with the principal logarithm, the square root
// taken in the half-plane that matches z's quadrant (non-positive imaginary
// part for z right of the axis and below it or left of it and above it, that
// is with Re z and Im z of one sign; non-negative otherwise). The position is
// (s (2 Re w / pi + 1) / 2, s (2 Im w / pi + 1) / 2).
//
// The formula is evaluated in the quarter right of the centre and above it
// (columns from W / 2, rows up to H / 2), where it adds like terms; the other
// quarters take it mirrored, since arcsin(-conj z) = -conj(arcsin z) and
// arcsin(conj z) = conj(arcsin z). Below the centre the formula itself would
// lose digits to cancellation, and the map costs a quarter of the
// logarithms.
cv::Point2f ArcsinePosition(int x, int y, int width, int height, float k, float s);

// The arcsine map of src (8-bit BGR) into dst (created at src's size), read
// with the sampler's tiled border, truncated. Returns false when cancel
// stopped it.
bool SineKernel(const cv::Mat& src, cv::Mat& dst, float k, float s, const std::atomic<bool>* cancel);

// The photo tiled along lines that bend around two points ("SineFilter").
// Block entry 0 is k (how much of the plane the picture spans), entry 1 is
// s (how many tiles fit across).
class CF_Sine : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "SineFilter";
  static constexpr BlockParam kScale{0, "scale", 3.0f, 0.5f, 10.0f};
  static constexpr BlockParam kTiling{1, "tiling", 3.0f, 0.5f, 10.0f};
  static constexpr BlockParam kParams[] = {kScale, kTiling};
  static constexpr FilterTraits kTraits{.params = kParams};

  CF_Sine();

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;
};

}  // namespace grinsnap
