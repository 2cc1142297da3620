#pragma once

#include <atomic>

#include <opencv2/core.hpp>

#include "filters/simple_filter.h"

namespace grinsnap {

// Where output pixel (x, y) of a width x height picture reads the photo, as
// fractions of its size: with z = k (2x / W - 1) + i k (2y / H - 1) (the real
// part to the right, the imaginary part downwards) and w = 1 / z (0 at
// z = 0), the position is ((Re w + 1) / 2, (Im w + 1) / 2).
cv::Point2f InversionPosition(int x, int y, int width, int height, float k);

// The complex inversion of src (8-bit BGR) into dst (created at src's size):
// each pixel reads src at its InversionPosition with the sampler's tiled
// border and keeps the values truncated. Returns false when cancel stopped it.
bool InversionKernel(const cv::Mat& src, cv::Mat& dst, float k, const std::atomic<bool>* cancel);

// The outside of the photo turned inside ("InversionFilter"): inside the
// ellipse with semi-axes W / 2k and H / 2k the photo shows tiled and turned
// inside out, outside it shrinks towards the centre. Block entry 0 is k.
class CF_Inversion : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "InversionFilter";
  static constexpr BlockParam kScale{0, "scale", 3.0f, 0.5f, 10.0f};
  static constexpr BlockParam kParams[] = {kScale};
  static constexpr FilterTraits kTraits{.params = kParams};

  CF_Inversion();

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;
};

}  // namespace grinsnap
