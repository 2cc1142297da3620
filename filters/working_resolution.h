#pragma once

#include <opencv2/core.hpp>

namespace grinsnap {

// Filters whose strokes or particles must look the same on every photo work
// at a resolution tied to a reference size R rather than at the output size:
// c = (R / w + R / h) / 2, and the working size is (w c, h c) truncated.
inline cv::Size WorkingResolution(cv::Size source, double reference) {
  const double c = (reference / source.width + reference / source.height) / 2.0;
  return {static_cast<int>(source.width * c), static_cast<int>(source.height * c)};
}

}  // namespace grinsnap

#include <opencv2/imgproc.hpp>

namespace grinsnap {

// Resizes source to its working resolution, runs kernel(working, result) at
// that size, and resizes the result into output (bilinear), whose size the
// caller has set.
template <typename Kernel>
void RenderAtWorkingResolution(const cv::Mat& source, cv::Mat& output, double reference, Kernel&& kernel) {
  const cv::Size size = WorkingResolution(source.size(), reference);
  if (size.width <= 0 || size.height <= 0 || output.empty()) return;
  cv::Mat working;
  cv::resize(source, working, size, 0, 0, cv::INTER_LINEAR);
  cv::Mat result(size, CV_8UC3, cv::Scalar::all(0));
  kernel(static_cast<const cv::Mat&>(working), result);
  cv::resize(result, output, output.size(), 0, 0, cv::INTER_LINEAR);
}

}  // namespace grinsnap
