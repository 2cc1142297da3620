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
  static constexpr BlockParam kOffset{0, "offset", 3.0f, -20.0f, 20.0f};
  static constexpr BlockParam kBias{1, "bias", 20.0f, -100.0f, 255.0f};
  static constexpr BlockParam kParams[] = {kOffset, kBias};
  static constexpr FilterTraits kTraits{.params = kParams};

  CF_Emboss();

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;
};

}  // namespace grinsnap
