#pragma once

#include <atomic>
#include <cstdint>

#include "filters/simple_filter.h"

namespace grinsnap {

// The brightness a glow starts from: the mean of the three per-channel means
// of src (8-bit BGR) times factor, in single precision.
float GlowThreshold(const cv::Mat& src, float factor);

// Scattered glow from src (8-bit BGR) into dst (created at src's size). For
// each pixel, in row-major order, two draws of the C-runtime generator seeded
// with seed pick a neighbour: row trunc(y + (2 first / 32767 - 1) radius) and
// column trunc(x + (2 second / 32767 - 1) radius), clamped into the picture.
// When the neighbour's brightness (sum of its bytes integer-divided by 3)
// reaches the threshold, every channel of the pixel gains 50 (capped at 255);
// otherwise it is copied. Returns false when cancel stopped it.
bool GlowScatterKernel(const cv::Mat& src, cv::Mat& dst, int radius, float factor, std::uint32_t seed,
                       const std::atomic<bool>* cancel);

// Box glow from src into dst: each pixel is mixed with the mean of the box of
// rows y - radius .. y + radius - 1 and columns x - radius .. x + radius - 1
// (clipped to the picture), by up to a half, the more the brighter the box is
// above the threshold (a smooth step over 10 levels). A radius below 1 gives
// an empty box; the picture is then copied. Returns false when cancel
// stopped it.
bool GlowBoxKernel(const cv::Mat& src, cv::Mat& dst, int radius, float factor, const std::atomic<bool>* cancel);

// The glow ("GlowFilter"). Its "type" on the filter element picks the
// scattered glow (0, seeded) or the box glow (1); other types leave the
// output as it is. Block entry 0 is the radius (default 1, truncated), entry
// 1 the threshold factor (default 1).
class CF_Glow : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "GlowFilter";
  static constexpr int kScatterType = 0;
  static constexpr int kBoxType = 1;
  static constexpr BlockParam kRadius{0, "radius", 1.0f, 0.0f, 50.0f};
  static constexpr BlockParam kFactor{1, "threshold factor", 1.0f, 0.0f, 3.0f};
  static constexpr BlockParam kParams[] = {kRadius, kFactor};
  static constexpr FilterTraits kTraits{.seeded = true, .params = kParams};

  CF_Glow();

  // Reads "type" only; the output is made by the first PrepareOutput.
  int Load() override;

  int Type() const { return type_; }

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;

private:
  int type_ = kScatterType;
};

}  // namespace grinsnap
