#pragma once

#include <atomic>

#include "filters/simple_filter.h"

namespace grinsnap {

// The smooth staircase of the cartoon: with d = x / step, e = floor(d) and
// f = d - e, e height + (2f)^5 height / 2 below the middle of a step and
// e height + height - (2 (1 - f))^5 height / 2 above it.
float CartoonStaircase(float x, float step, float height);

// Flattened colours from src (8-bit BGR) into dst (created at src's size),
// in a hue-chroma-intensity space: the chroma is smoothed by a 21 x 21 box,
// the hue by the wash (WashKernel with 0, 5 and 20), then the hue snaps to
// six steps, the chroma is capped softly and the intensity is pulled
// towards three levels, and the colour goes back to BGR. Returns false when
// cancel stopped it (polled after each row of the conversion).
bool CartoonKernel(const cv::Mat& src, cv::Mat& dst, const std::atomic<bool>* cancel);

// The cartoon ("CartoonFilter").
class CF_Cartoon : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "CartoonFilter";

  CF_Cartoon();

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;
};

}  // namespace grinsnap
