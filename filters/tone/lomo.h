#pragma once

#include <atomic>

#include "filters/simple_filter.h"

namespace grinsnap {

// Crushes the shadows relative to the mean brightness of src (8-bit BGR) into
// dst (created at src's size). With T = mean x blackness (the mean of all
// three channels, truncated), a pixel of brightness l below T loses
// 255 x ((l - T) / max(T, 1))^2 x intense from each channel. Returns false
// when cancel stopped it.
bool LomoKernel(const cv::Mat& src, cv::Mat& dst, float blackness, float intense, const std::atomic<bool>* cancel);

// The shadow-crushing filter ("LomoFilter"). Reads "blackness" and "intense"
// from the filter element itself; both default to 0, which leaves the
// picture unchanged.
class CF_Lomo : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "LomoFilter";

  CF_Lomo();

  int Load() override;

  float Blackness() const { return blackness_; }
  float Intense() const { return intense_; }

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;

private:
  float blackness_ = 0;
  float intense_ = 0;
};

}  // namespace grinsnap
