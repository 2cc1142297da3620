#pragma once

#include <atomic>

#include "filters/simple_filter.h"

namespace grinsnap {

// The shock waves' rings: radius as a fraction of the distance from the
// centre to the farthest corner, and each ring's share of the strength.
struct ShockRing {
  float radius;
  float share;
};
inline constexpr ShockRing kShockRings[] = {{0.2f, 0.45f}, {0.42f, 0.7f}, {0.68f, 1.0f}};

// How far (in pixels) a point at distance r from the centre reads inwards,
// summed over the rings, and its rate of change along r. farthest is the
// distance to the farthest corner, shorter the picture's shorter side.
struct ShockDisplacement {
  float shift;
  float slope;
};
ShockDisplacement ShockAt(float r, float strength, float farthest, float shorter);

// Shock waves spreading from (cx, cy) (pixels) through src (8-bit BGR),
// into dst (created at src's size). Returns false when cancel stopped it.
bool ShockKernel(const cv::Mat& src, cv::Mat& dst, float strength, float cx, float cy,
                 const std::atomic<bool>* cancel);

// Shock waves ("ShockFilter"): block entry 0 is their strength; they spread
// from the template's point (block entries 7 and 8, the middle by default).
// Runs on the worker above 400 pixels.
class CF_Shock : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "ShockFilter";
  static constexpr BlockParam kStrength{0, "strength", 0.1f, 0.0f, 0.5f};
  static constexpr BlockParam kParams[] = {kStrength};
  static constexpr FilterTraits kTraits{.background = Background::AboveSize, .backgroundLimit = 400, .params = kParams};

  CF_Shock();

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;
};

}  // namespace grinsnap
