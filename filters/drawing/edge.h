#pragma once

#include <atomic>

#include "filters/simple_filter.h"

namespace grinsnap {

// The edge painting of src (8-bit BGR, at the working resolution) into dst
// (its size): softened, slightly muted colours with the picture's edges
// drawn over them as thin dark lines of the local colour. detail (1 to 15)
// sets the softening and so how much small detail gets a line; lines
// (about -1 to 1) draws fewer (below 0) or more (above 0) of them. Returns
// false when cancel stopped it.
bool EdgeKernel(const cv::Mat& src, cv::Mat& dst, int detail, float lines, const std::atomic<bool>* cancel);

// The edge painter ("EdgeFilter") at the working resolution for 500: block
// entry 0 is the detail (default 7, truncated), entry 1 the line amount
// (default 0).
class CF_Edge : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "EdgeFilter";
  static constexpr BlockParam kDetail{0, "detail", 7.0f, 1.0f, 15.0f};
  static constexpr BlockParam kLines{1, "lines", 0.0f, -1.0f, 1.0f};
  static constexpr BlockParam kParams[] = {kDetail, kLines};
  static constexpr FilterTraits kTraits{.workingReference = 500, .params = kParams};

  CF_Edge();

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;
};

}  // namespace grinsnap
