#pragma once

#include "filters/simple_filter.h"

namespace grinsnap {

// Flat colour regions whose colours stay within a standard deviation
// ("ContourLineFilter"): block entry 0 is the largest deviation a region
// may reach (default 15). Regions grow as GrowRegions with the deviation
// rule describes.
class CF_ContourLine : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "ContourLineFilter";
  static constexpr BlockParam kTolerance{0, "tolerance", 15.0f, 0.0f, 60.0f};
  static constexpr BlockParam kParams[] = {kTolerance};
  static constexpr FilterTraits kTraits{.params = kParams};

  CF_ContourLine();

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;
};

}  // namespace grinsnap
