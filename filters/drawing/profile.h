#pragma once

#include <atomic>

#include "filters/simple_filter.h"

namespace grinsnap {

// The light silhouette of src (8-bit BGR) into dst (created at src's size).
// With m the mean of all three channels over the picture and n the
// brightness sqrt(B^2 + G^2 + R^2) / sqrt(3) of a pixel, the pixel becomes
// truncate((S(n) + 1) / 2 x 255) in every channel, where S is the smooth
// step around m of half-width m / 6: 0 up to m - m / 6, 1 from m + m / 6 on,
// (3t - t^3) / 2 clamped to 0..1 between, t = (n - m) / (m / 6). The result
// lies between 127 and 255. Returns false when cancel stopped it.
bool ProfileKernel(const cv::Mat& src, cv::Mat& dst, const std::atomic<bool>* cancel);

// The light silhouette ("ProfileFilter").
class CF_Profile : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "ProfileFilter";

  CF_Profile();

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;
};

}  // namespace grinsnap
