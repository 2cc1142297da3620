#include "filters/drawing/sketch.h"

#include <algorithm>
#include <cmath>

#include "filters/drawing/drawing_support.h"

namespace grinsnap {
namespace {

constexpr int kInnerRadius = 20;  // the 41 x 41 window of mean and deviation
constexpr int kOuterRadius = 25;  // the 51 x 51 window of the darkness scale
constexpr double kOuterFloor = 10.0;

}  // namespace

bool SketchKernel(const cv::Mat& src, cv::Mat& dst, const std::atomic<bool>* cancel) {
  CV_Assert(src.type() == CV_8UC3);
  GreyTables tables;
  tables.Build(src);
  dst.create(src.size(), CV_8UC3);
  const int width = src.cols, height = src.rows;

  // Every pixel reads the finished tables only: rows run in parallel.
  return ParallelRows(height, cancel, [&](int y) {
    const int ay0 = std::max(y - kInnerRadius, 0), ay1 = std::min(y + kInnerRadius + 1, height);
    const int by0 = std::max(y - kOuterRadius, 0), by1 = std::min(y + kOuterRadius + 1, height);
    const double* sumA0 = tables.sum.ptr<double>(ay0);
    const double* sumA1 = tables.sum.ptr<double>(ay1);
    const double* sqA0 = tables.sqsum.ptr<double>(ay0);
    const double* sqA1 = tables.sqsum.ptr<double>(ay1);
    const double* sumB0 = tables.sum.ptr<double>(by0);
    const double* sumB1 = tables.sum.ptr<double>(by1);
    const std::uint8_t* grey = tables.grey.ptr<std::uint8_t>(y);
    std::uint8_t* out = dst.ptr<std::uint8_t>(y);
    for (int x = 0; x < width; ++x) {
      const int ax0 = std::max(x - kInnerRadius, 0), ax1 = std::min(x + kInnerRadius + 1, width);
      const int bx0 = std::max(x - kOuterRadius, 0), bx1 = std::min(x + kOuterRadius + 1, width);
      const double countA = static_cast<double>((ay1 - ay0) * (ax1 - ax0));
      const double countB = static_cast<double>((by1 - by0) * (bx1 - bx0));
      const double a = TableBoxSum(sumA0, sumA1, ax0, ax1) / countA;
      const double s = TableBoxSum(sqA0, sqA1, ax0, ax1) / countA;
      // s - a^2 is never below 0 in exact arithmetic; rounding can take a
      // flat window a hair under it.
      const double deviation = std::sqrt(std::max(s - a * a, 0.0));
      const double b = std::max(TableBoxSum(sumB0, sumB1, bx0, bx1) / countB, kOuterFloor);
      const double v = (static_cast<double>(grey[x]) - (a + 0.5 * deviation)) / (b / 125.0);
      const double value = std::clamp(2.2 * v + 250.0, 0.0, 255.0);
      out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = static_cast<std::uint8_t>(value);
    }
  });
}

CF_Sketch::CF_Sketch() : CF_SimpleFilter(kClassName, {}) {}

bool CF_Sketch::RunKernel(const cv::Mat& in, cv::Mat& out) { return SketchKernel(in, out, StopFlag()); }

}  // namespace grinsnap
