#pragma once

#include <atomic>

#include "filters/simple_filter.h"

namespace grinsnap {

// A colour transform: row vector v = (R, G, B) maps to v * matrix + offset.
// Row "r" of the matrix says how input red feeds output red, green and blue.
struct ColorTransform {
  float matrix[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  float offset[3] = {0, 0, 0};

  // Applies `next` after this transform: c = c * A + b, then M = M * A.
  void Then(const ColorTransform& next);
};

// Soft clipping: each component is pulled into [lower, upper] through two
// parabolic knees of half-width upperEdge and lowerEdge.
struct SoftClip {
  float upper = 255;
  float lower = 0;
  float upperEdge = 30;
  float lowerEdge = 20;

  float Apply(float d) const;
};

// Runs the transform and the soft clip over every pixel of src (8-bit BGR)
// into dst (same size, 8-bit BGR). Stops after the row during which cancel
// was set; returns false then.
bool ColorKernel(const cv::Mat& src, cv::Mat& dst, const ColorTransform& transform, const SoftClip& clip,
                 const std::atomic<bool>* cancel);

// The general colour-matrix filter ("ColorFilter"): one or more "mat"
// elements, composed in document order, followed by soft clipping whose
// levels come from "param".
//
// This file is the worked example for new filters: the class reads its
// parameters and sizes its output, the kernel above does the pixel work.
class CF_Color : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "ColorFilter";

  // Outputs wider or taller than this render on the engine's worker thread.
  static constexpr int kBackgroundLimit = 1000;

  CF_Color();

  int Load() override;
  void Process() override;
  void Abort() override { stop_ = true; }
  bool RunsInBackground() override;

  const ColorTransform& Transform() const { return transform_; }
  const SoftClip& Clip() const { return clip_; }

private:
  ColorTransform transform_;
  SoftClip clip_;
  // Its own stop flag rather than the tree's: Abort of a colour pass must not
  // cut short the other filters of a chain.
  std::atomic<bool> stop_{false};
};

}  // namespace grinsnap
