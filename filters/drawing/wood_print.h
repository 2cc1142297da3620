#pragma once

#include <atomic>

#include "filters/simple_filter.h"

namespace grinsnap {

// The woodcut of src (8-bit BGR) from two pictures of its size (8-bit BGR),
// into dst. For the pixel at row i, column j of a W x H picture, with
// D = (sin((i / H) pi / a) b + j / W) x 100 and the triangle wave
// t = |(D mod 2) - 1|, the grain value m = grey - 255 t + 128 (clamped to
// 0..255, truncated) mixes foreground x m / 255 and background x (255 - m) /
// 255, each rounded, added with saturation. The grain runs in 50 stripes
// across the width, bent by a slow sine over the height and thickened where
// the photo is dark. Returns false when cancel stopped it.
bool WoodPrintKernel(const cv::Mat& src, const cv::Mat& foreground, const cv::Mat& background, cv::Mat& dst,
                     float a, float b, const std::atomic<bool>* cancel);

// The woodcut print ("WoodPrintFilter"): the photo's grain mixes two wood
// pictures named by "foreground" and "background" of "param" (relative to
// the document's folder). A document that names neither gets the built-in
// light and dark woods; a named picture that cannot be read makes the
// render fail with its path. Block entry 0 bends the grain (default 5),
// entry 1 is how far it bends (default 0.05).
class CF_WoodPrint : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "WoodPrintFilter";
  static constexpr BlockParam kBend{0, "grain period", 5.0f, 0.5f, 20.0f};
  static constexpr BlockParam kAmplitude{1, "grain bend", 0.05f, 0.0f, 0.5f};
  static constexpr BlockParam kParams[] = {kBend, kAmplitude};
  static constexpr FilterTraits kTraits{.params = kParams};

  CF_WoodPrint();

  int Load() override;

  const cv::Mat& Foreground() const { return foreground_; }
  const cv::Mat& Background() const { return background_; }

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;

private:
  cv::Mat foreground_;
  cv::Mat background_;
  std::string missing_;  // the picture that could not be read, if any
};

}  // namespace grinsnap
