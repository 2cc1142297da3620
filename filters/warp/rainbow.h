#pragma once

#include <atomic>
#include <vector>

#include "filters/simple_filter.h"

namespace grinsnap {

// One corner of the arch: its position in output pixels and its texture
// position (u along the arch, v across it).
struct RainbowCorner {
  float x, y, u, v;
};

// The band of the arch on a width x height picture: a strip along a circle
// of radius Rm = max(W, H) whose top lies at (W / 2, (0.9 p + 0.05) H), Rm / 10
// x k wide and q W long, cut into trunc(q W / 10) segments of two triangles.
// Corner 2s lies on the outer edge and 2s + 1 on the inner edge at segment
// boundary s; segment i is the triangles (2i, 2i + 1, 2i + 3) and
// (2i + 3, 2i + 2, 2i). Empty when the arch is shorter than 10 pixels.
std::vector<RainbowCorner> RainbowArch(int width, int height, float p, float q, float k);

// A rainbow arch over src (8-bit BGR) into dst (created at src's size),
// drawn with the rasteriser: each covered pixel mixes the colour circle,
// read across the band at 1.3 v (tiled), into the photo with the weight
// g = exp(-4 ((2u - 1)^2 + (2v - 1)^2)), clamped and truncated. Every mix
// starts from the photo, so pixels that two triangles reach are not
// brightened twice. Returns false when cancel stopped it.
bool RainbowKernel(const cv::Mat& src, cv::Mat& dst, float p, float q, float k, const std::atomic<bool>* cancel);

// A rainbow over the photo ("RainbowFilter"): block entry 0 lowers its top
// from near the top edge, entry 1 is its length as a fraction of the width,
// entry 2 scales its width.
class CF_Rainbow : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "RainbowFilter";
  static constexpr BlockParam kHeight{0, "height", 0.16f, 0.0f, 1.0f};
  static constexpr BlockParam kLength{1, "length", 1.0f, 0.05f, 3.0f};
  static constexpr BlockParam kWidth{2, "width", 1.0f, 0.1f, 5.0f};
  static constexpr BlockParam kParams[] = {kHeight, kLength, kWidth};
  static constexpr FilterTraits kTraits{.params = kParams};

  CF_Rainbow();

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;
};

}  // namespace grinsnap
