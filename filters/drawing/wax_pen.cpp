#include "filters/drawing/wax_pen.h"

#include <algorithm>

#include "filters/drawing/dab_painting.h"
#include "filters/drawing/drawing_support.h"
#include "platform/crt_random.h"

namespace grinsnap {

int CapBrushSize(int a, cv::Size picture) { return std::min(a, std::max(picture.width, picture.height)); }

std::vector<cv::Point> WaxPenBrush(int a) {
  std::vector<cv::Point> brush;
  if (a <= 0) return brush;
  // C division truncates toward zero: a / -2 is -(a / 2).
  const int low = a / -2, high = a / 2;
  for (int dx = -a; dx < a; ++dx)
    for (int dy = -a; dy < a; ++dy)
      if (dx + dy >= low && dx + dy < high) brush.emplace_back(dx, dy);
  return brush;
}

bool WaxPenKernel(const cv::Mat& src, cv::Mat& dst, int a, float k, std::uint32_t seed,
                  const std::atomic<bool>* cancel) {
  CV_Assert(src.type() == CV_8UC3);
  dst.create(src.size(), CV_8UC3);
  dst.setTo(cv::Scalar::all(255));
  CrtRandom random(seed);
  std::vector<cv::Point> brush = WaxPenBrush(CapBrushSize(a, src.size()));
  ThinBrush(brush, ThinningCount(brush.size(), k), random);
  if (!PaintCrayonDabs(src, dst, brush, {}, random, cancel)) return false;
  FillWhite(src, dst);
  return true;
}

CF_WaxPen::CF_WaxPen() : CF_SimpleFilter(kClassName, kTraits) {}

bool CF_WaxPen::RunKernel(const cv::Mat& in, cv::Mat& out) {
  return WaxPenKernel(in, out, TruncateToInt(Param(kSize)), Param(kDensity), seed_, StopFlag());
}

}  // namespace grinsnap
