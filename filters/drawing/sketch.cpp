#include "filters/drawing/sketch.h"

#include <algorithm>
#include <cmath>

#include <opencv2/core/hal/intrin.hpp>

#include "filters/drawing/drawing_support.h"

namespace grinsnap {
namespace {

constexpr int kInnerRadius = 20;  // the 41 x 41 window of mean and deviation
constexpr int kOuterRadius = 25;  // the 51 x 51 window of the darkness scale
constexpr double kOuterFloor = 10.0;

}  // namespace

namespace {

// The sketch value of one pixel from its window sums; the vector path below
// runs the same operations in the same order.
inline std::uint8_t SketchValue(double grey, double sumA, double squaresA, double countA, double sumB, double countB) {
  const double a = sumA / countA;
  const double s = squaresA / countA;
  // s - a^2 is never below 0 in exact arithmetic; rounding can take a flat
  // window a hair under it.
  const double deviation = std::sqrt(std::max(s - a * a, 0.0));
  const double b = std::max(sumB / countB, kOuterFloor);
  const double v = (grey - (a + 0.5 * deviation)) / (b / 125.0);
  return static_cast<std::uint8_t>(std::clamp(2.2 * v + 250.0, 0.0, 255.0));
}

struct SketchRow {
  const double* sumA0;
  const double* sumA1;
  const double* sqA0;
  const double* sqA1;
  const double* sumB0;
  const double* sumB1;
  const std::uint8_t* grey;
  int rowsA;
  int rowsB;
};

inline std::uint8_t SketchPixel(const SketchRow& r, int x, int width) {
  const int ax0 = std::max(x - kInnerRadius, 0), ax1 = std::min(x + kInnerRadius + 1, width);
  const int bx0 = std::max(x - kOuterRadius, 0), bx1 = std::min(x + kOuterRadius + 1, width);
  return SketchValue(r.grey[x], TableBoxSum(r.sumA0, r.sumA1, ax0, ax1), TableBoxSum(r.sqA0, r.sqA1, ax0, ax1),
                     static_cast<double>(r.rowsA * (ax1 - ax0)), TableBoxSum(r.sumB0, r.sumB1, bx0, bx1),
                     static_cast<double>(r.rowsB * (bx1 - bx0)));
}

// The columns whose windows lie inside the picture across: both counts are
// the same for all of them, two pixels at a time. Returns the first column
// it did not do.
int SketchInterior(const SketchRow& r, int from, int to, std::uint8_t* values) {
  int x = from;
#if CV_SIMD128_64F
  const cv::v_float64x2 countA = cv::v_setall_f64(static_cast<double>(r.rowsA * (2 * kInnerRadius + 1)));
  const cv::v_float64x2 countB = cv::v_setall_f64(static_cast<double>(r.rowsB * (2 * kOuterRadius + 1)));
  const cv::v_float64x2 zero = cv::v_setzero_f64(), half = cv::v_setall_f64(0.5), floor = cv::v_setall_f64(kOuterFloor);
  const cv::v_float64x2 scale = cv::v_setall_f64(125.0), gain = cv::v_setall_f64(2.2), white = cv::v_setall_f64(250.0);
  const cv::v_float64x2 top = cv::v_setall_f64(255.0);
  for (; x + 2 <= to; x += 2) {
    auto box = [&](const double* t0, const double* t1, int radius) {
      const int lo = x - radius, hi = x + radius + 1;
      return cv::v_load(t1 + hi) - cv::v_load(t1 + lo) - cv::v_load(t0 + hi) + cv::v_load(t0 + lo);
    };
    const cv::v_float64x2 a = box(r.sumA0, r.sumA1, kInnerRadius) / countA;
    const cv::v_float64x2 s = box(r.sqA0, r.sqA1, kInnerRadius) / countA;
    const cv::v_float64x2 deviation = cv::v_sqrt(cv::v_max(s - a * a, zero));
    const cv::v_float64x2 b = cv::v_max(box(r.sumB0, r.sumB1, kOuterRadius) / countB, floor);
    const double g2[2] = {static_cast<double>(r.grey[x]), static_cast<double>(r.grey[x + 1])};
    const cv::v_float64x2 v = (cv::v_load(g2) - (a + half * deviation)) / (b / scale);
    const cv::v_float64x2 value = cv::v_min(cv::v_max(gain * v + white, zero), top);
    double out[2];
    cv::v_store(out, value);
    values[x] = static_cast<std::uint8_t>(out[0]);
    values[x + 1] = static_cast<std::uint8_t>(out[1]);
  }
#endif
  return x;
}

}  // namespace

bool SketchKernel(const cv::Mat& src, cv::Mat& dst, const std::atomic<bool>* cancel, GreyTables* workspace) {
  CV_Assert(src.type() == CV_8UC3);
  GreyTables local;
  GreyTables& tables = workspace ? *workspace : local;
  tables.Build(src);
  dst.create(src.size(), CV_8UC3);
  const int width = src.cols, height = src.rows;

  // Every pixel reads the finished tables only: rows run in parallel.
  return ParallelRows(height, cancel, [&](int y) {
    const int ay0 = std::max(y - kInnerRadius, 0), ay1 = std::min(y + kInnerRadius + 1, height);
    const int by0 = std::max(y - kOuterRadius, 0), by1 = std::min(y + kOuterRadius + 1, height);
    const SketchRow row{tables.sum.ptr<double>(ay0),   tables.sum.ptr<double>(ay1), tables.sqsum.ptr<double>(ay0),
                        tables.sqsum.ptr<double>(ay1), tables.sum.ptr<double>(by0), tables.sum.ptr<double>(by1),
                        tables.grey.ptr<std::uint8_t>(y), ay1 - ay0,                by1 - by0};
    std::uint8_t* out = dst.ptr<std::uint8_t>(y);
    // The values of the row go into the first third of the output row, which
    // no value of this row has been spread over yet; then they are spread
    // into the three channels from the right end.
    std::uint8_t* values = out;
    const int interiorFrom = std::min(kOuterRadius, width), interiorTo = std::max(width - kOuterRadius, interiorFrom);
    int x = 0;
    for (; x < interiorFrom; ++x) values[x] = SketchPixel(row, x, width);
    x = SketchInterior(row, x, interiorTo, values);
    for (; x < width; ++x) values[x] = SketchPixel(row, x, width);
    for (int i = width - 1; i >= 0; --i) out[3 * i] = out[3 * i + 1] = out[3 * i + 2] = values[i];
  });
}

CF_Sketch::CF_Sketch() : CF_SimpleFilter(kClassName, {}) {}

bool CF_Sketch::RunKernel(const cv::Mat& in, cv::Mat& out) { return SketchKernel(in, out, StopFlag(), &tables_); }

}  // namespace grinsnap
