#pragma once

#include "filters/simple_filter.h"

namespace grinsnap {

// Flat colour regions that grow across small steps of colour ("ChalkFilter"):
// a neighbour joins when its colour lies closer to the pixel it was reached
// from than that pixel's brightness times t / 255, t being block entry 0
// (default 3). Regions grow as GrowRegions with the distance rule describes.
class CF_Chalk : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "ChalkFilter";
  static constexpr BlockParam kTolerance{0, "tolerance", 3.0f, 0.0f, 40.0f};
  static constexpr BlockParam kParams[] = {kTolerance};
  static constexpr FilterTraits kTraits{.params = kParams};

  CF_Chalk();

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;
};

}  // namespace grinsnap
