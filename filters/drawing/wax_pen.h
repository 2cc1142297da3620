#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "filters/simple_filter.h"

namespace grinsnap {

// The crayon's brush for size a: offsets (dx, dy), dx from -a to a - 1
// (outer) and dy likewise (inner), whose sum lies from a / -2 up to but not
// including a / 2 (integer division): a diagonal band across the square.
std::vector<cv::Point> WaxPenBrush(int a);

// Crayon dabs from src (8-bit BGR, at the working resolution) into dst (its
// size), with the generator seeded by seed: the brush of size a keeps the
// share k of its offsets (thinned at random), then dabs of source colour
// cover the white canvas (PaintCrayonDabs) and what stays white takes the
// source colour. Returns false when cancel stopped it (polled per dab).
bool WaxPenKernel(const cv::Mat& src, cv::Mat& dst, int a, float k, std::uint32_t seed,
                  const std::atomic<bool>* cancel);

// Crayon dabs ("WaxPenFilter") at the working resolution for 1000: block
// entry 0 is the brush size (default 10, truncated), entry 1 the share of
// the brush kept (default 0.5). Runs in the background when "param" has
// delay="1".
class CF_WaxPen : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "WaxPenFilter";
  static constexpr BlockParam kSize{0, "brush size", 10.0f, 1.0f, 40.0f};
  static constexpr BlockParam kDensity{1, "brush density", 0.5f, 0.0f, 1.0f};
  static constexpr BlockParam kParams[] = {kSize, kDensity};
  static constexpr FilterTraits kTraits{.seeded = true,
                                        .background = Background::WhenDelay,
                                        .workingReference = 1000,
                                        .params = kParams};

  CF_WaxPen();

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;
};

// The brush side a picture can use: a brush beyond the picture's larger
// side reaches nothing more, and its offsets would fill memory.
int CapBrushSize(int a, cv::Size picture);

}  // namespace grinsnap
