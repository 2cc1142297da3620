#pragma once

#include <atomic>

#include "filters/simple_filter.h"
#include "platform/crt_random.h"

namespace grinsnap {

// Rain streaks over src (8-bit BGR) into dst (created at src's size): drops
// drops, each drawn from the generator as x0 = trunc(rand() / 32768 x W),
// y0 = trunc(rand() / 32768 x H) and the half-length L = trunc(rand() / 32767
// x (hi - lo) + lo); a drop lightens 2L points along the slant (-0.2, 1),
// one unit apart, each channel to trunc(255 - (255 - c) / 1.1). Drops are
// drawn one after the other: overlapping streaks lighten further. Returns
// false when cancel stopped it.
bool RainKernel(const cv::Mat& src, cv::Mat& dst, float lo, float hi, int drops, CrtRandom& random,
                const std::atomic<bool>* cancel);

// Rain ("RainFilter"), drawn at a working resolution of 500 so that the
// number of drops gives the same density on every photo. Block entries 0
// and 1 bound the half-length of a streak (in working pixels), entry 2 is the
// number of drops.
class CF_Rain : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "RainFilter";
  static constexpr BlockParam kShortest{0, "shortest streak", 15.0f, 1.0f, 60.0f};
  static constexpr BlockParam kLongest{1, "longest streak", 30.0f, 1.0f, 100.0f};
  static constexpr BlockParam kDrops{2, "drops", 10000.0f, 0.0f, 50000.0f};
  static constexpr BlockParam kParams[] = {kShortest, kLongest, kDrops};
  static constexpr FilterTraits kTraits{.seeded = true, .workingReference = 500, .params = kParams};

  CF_Rain();

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;
};

}  // namespace grinsnap
