#pragma once

#include <atomic>

#include "filters/simple_filter.h"

namespace grinsnap {

// A circular ripple seen through water and lit from one direction, from src
// (8-bit BGR) into dst (created at src's size). a is the ripple scale, b its
// amplitude, c the refraction ratio. Returns false when cancel stopped it.
bool WaveKernel(const cv::Mat& src, cv::Mat& dst, float a, float b, float c, const std::atomic<bool>* cancel);

// The water ripple ("WaveFilter"): block entries 0, 1, 2 are a, b and c.
class CF_Wave : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "WaveFilter";
  static constexpr BlockParam kScale{0, "ripple scale", 0.146f, 0.02f, 0.5f};
  static constexpr BlockParam kAmplitude{1, "amplitude", 0.02f, 0.0f, 0.1f};
  static constexpr BlockParam kRefraction{2, "refraction", 0.75f, 0.0f, 1.0f};
  static constexpr BlockParam kParams[] = {kScale, kAmplitude, kRefraction};
  static constexpr FilterTraits kTraits{.params = kParams};

  CF_Wave();

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;
};

}  // namespace grinsnap
