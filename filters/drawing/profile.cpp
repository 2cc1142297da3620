#include "filters/drawing/profile.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "filters/kernel_support.h"

namespace grinsnap {
namespace {

// B^2 + G^2 + R^2 of an 8-bit pixel lies in 0 .. 3 x 255^2.
constexpr int kSquareSums = 3 * 255 * 255 + 1;

std::uint8_t ProfileValue(double n, double m) {
  const double h = m / 6.0;
  double s;
  if (n <= m - h) {
    s = 0.0;
  } else if (n >= m + h) {
    s = 1.0;
  } else {
    const double t = (n - m) / h;
    s = std::clamp((3.0 * t - t * t * t) / 2.0, 0.0, 1.0);
  }
  return static_cast<std::uint8_t>((s + 1.0) / 2.0 * 255.0);
}

}  // namespace

bool ProfileKernel(const cv::Mat& src, cv::Mat& dst, const std::atomic<bool>* cancel) {
  CV_Assert(src.type() == CV_8UC3);
  const cv::Mat in = Unaliased(src, dst);
  dst.create(in.size(), CV_8UC3);
  if (in.empty()) return true;
  const cv::Scalar sums = cv::sum(in);
  const double m = (sums[0] + sums[1] + sums[2]) / (static_cast<double>(in.cols) * in.rows) / 3.0;

  // A pixel's value depends only on its sum of squares: one table for all of
  // them, filled with the same arithmetic a pixel-by-pixel pass would do.
  std::vector<std::uint8_t> table(kSquareSums);
  const double root3 = std::sqrt(3.0);
  for (int q = 0; q < kSquareSums; ++q) table[q] = ProfileValue(std::sqrt(static_cast<double>(q)) / root3, m);

  return ParallelRows(in.rows, cancel, [&](int y) {
    const std::uint8_t* p = in.ptr<std::uint8_t>(y);
    std::uint8_t* out = dst.ptr<std::uint8_t>(y);
    for (int x = 0; x < in.cols; ++x) {
      const int b = p[3 * x], g = p[3 * x + 1], r = p[3 * x + 2];
      out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = table[b * b + g * g + r * r];
    }
  });
}

CF_Profile::CF_Profile() : CF_SimpleFilter(kClassName, {}) {}

bool CF_Profile::RunKernel(const cv::Mat& in, cv::Mat& out) { return ProfileKernel(in, out, StopFlag()); }

}  // namespace grinsnap
