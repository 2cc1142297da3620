#pragma once

#include <atomic>

#include "filters/simple_filter.h"

namespace grinsnap {

// The region the dim effect keeps sharp, as fractions of the picture.
struct FocusRegion {
  float x = 0.25f;
  float y = 0.25f;
  float width = 0.5f;
  float height = 0.5f;
};

// Blur growing with the distance from the focus region, from src (8-bit BGR)
// into dst (created at src's size). Around the region's centre (cx, cy) with
// spreads 4 x its width and height, the pixel at column i, row j of a W x H
// picture becomes the mean of the box of half-sizes k W and k H (truncated),
// where k = 0.02 sqrt(((i / W - cx) / sx)^2 + ((j / H - cy) / sy)^2); the box
// is clipped to the picture and its mean truncated. A region of all zeros
// stands for the whole picture (centre 0.5, spreads 1). Returns false when
// cancel stopped it; cancel is polled while the summed table is built and
// before each output row.
bool DimKernel(const cv::Mat& src, cv::Mat& dst, const FocusRegion& focus, const std::atomic<bool>* cancel);

// The focus blur ("DimFilter"). It reads its region from the template's
// block (entries 3 to 6) on every Process; without a block it keeps the
// template's default region, the middle quarter of the picture.
class CF_DimEffect : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "DimFilter";
  static constexpr FilterTraits kTraits{.needsBlock = true};

  CF_DimEffect();

  cv::Size* GetOutputSize(cv::Size* size) override;

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;
};

}  // namespace grinsnap
