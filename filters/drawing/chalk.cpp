#include "filters/drawing/chalk.h"

#include "filters/drawing/region_growing.h"

namespace grinsnap {

CF_Chalk::CF_Chalk() : CF_SimpleFilter(kClassName, kTraits) {}

bool CF_Chalk::RunKernel(const cv::Mat& in, cv::Mat& out) {
  return GrowRegions(in, out, RegionRule::kNeighbourDistance, Param(kTolerance), StopFlag());
}

}  // namespace grinsnap
