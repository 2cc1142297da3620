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
// This file is the worked example for new filters. A filter is a thin class
// over a free kernel function (above): the class declares its traits once,
// reads its parameters in Load, and calls the kernel in RunKernel. The base
// does the rest: taking the sources, sizing the output, handing the kernel
// the source at the output size, turning the kernel's answer into the run's
// outcome, and answering RunsInBackground from the traits.
class CF_Color : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "ColorFilter";
  // Its own stop flag rather than the tree's, and the worker thread for
  // outputs wider or taller than 1000 pixels (no output yet: the interface
  // thread). It draws no random numbers and reads no block entries.
  static constexpr FilterTraits kTraits{
      .ownStopFlag = true, .background = Background::AboveSize, .backgroundLimit = 1000};

  CF_Color();

  int Load() override;

  const ColorTransform& Transform() const { return transform_; }
  const SoftClip& Clip() const { return clip_; }

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;

private:
  ColorTransform transform_;
  SoftClip clip_;
};

}  // namespace grinsnap
