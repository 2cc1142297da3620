#pragma once

#include <atomic>

#include "filters/simple_filter.h"

namespace grinsnap {

// Offset difference of src (8-bit BGR) into dst (created at src's size): for
// each channel, row y and column x in increasing order, the value becomes
// I(y + offset, x + offset) - I(y, x) + bias, clamped to 0..255, with the
// coordinates clamped into the picture. The picture is worked in place, so
// with a negative offset a pixel reads values already replaced earlier in the
// same pass; with offset 0 or more every read is still the original. Returns
// false when cancel stopped it.
bool EmbossKernel(const cv::Mat& src, cv::Mat& dst, int offset, int bias, const std::atomic<bool>* cancel);

// The emboss ("EmbossFilter"): block entry 0 is the offset (default 3) and
// entry 1 the bias (default 20), both truncated to integers.
class CF_Emboss : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "EmbossFilter";
  static constexpr float kDefaultOffset = 3.0f;
  static constexpr float kDefaultBias = 20.0f;

  CF_Emboss();

  void Process() override;
};

}  // namespace grinsnap
