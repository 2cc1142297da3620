#include "filters/drawing/contour_line.h"

#include "filters/drawing/region_growing.h"

namespace grinsnap {

CF_ContourLine::CF_ContourLine() : CF_SimpleFilter(kClassName, kTraits) {}

bool CF_ContourLine::RunKernel(const cv::Mat& in, cv::Mat& out) {
  return GrowRegions(in, out, RegionRule::kDeviation, Param(kTolerance), StopFlag());
}

}  // namespace grinsnap
