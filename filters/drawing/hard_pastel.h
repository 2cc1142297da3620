#pragma once

#include <cstdint>
#include <vector>

#include "filters/simple_filter.h"

namespace grinsnap {

// The pastel's brush for radius a: the disc of offsets with
// dx^2 + dy^2 <= a^2, dx and dy from -a to a, dx the outer loop.
std::vector<cv::Point> HardPastelBrush(int a);

// Pastel dabs from src (8-bit BGR, at the working resolution) into dst (its
// size), with the generator seeded by seed: the disc brush of radius a keeps
// the share k of its offsets, then m of them become accents, painted in a
// stronger colour (PaintCrayonDabs); what stays white takes the source
// colour. The loop is short and bounded and does not poll a stop.
void HardPastelKernel(const cv::Mat& src, cv::Mat& dst, int a, float k, int m, std::uint32_t seed);

// Pastel dabs with accents ("HardPastelFilter") at the working resolution
// for 1200: block entry 0 is the brush radius (default 5, truncated), entry
// 1 the share of the brush kept (default 0.5), entry 2 the number of accent
// offsets (default 3, truncated).
class CF_HardPastel : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "HardPastelFilter";
  static constexpr BlockParam kRadius{0, "brush radius", 5.0f, 1.0f, 20.0f};
  static constexpr BlockParam kDensity{1, "brush density", 0.5f, 0.0f, 1.0f};
  static constexpr BlockParam kAccents{2, "accents", 3.0f, 0.0f, 60.0f};
  static constexpr BlockParam kParams[] = {kRadius, kDensity, kAccents};
  static constexpr FilterTraits kTraits{.seeded = true, .workingReference = 1200, .params = kParams};

  CF_HardPastel();

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;
};

}  // namespace grinsnap
