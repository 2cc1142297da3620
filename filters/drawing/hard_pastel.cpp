#include "filters/drawing/hard_pastel.h"

#include <algorithm>

#include "filters/drawing/dab_painting.h"
#include "filters/drawing/wax_pen.h"
#include "filters/kernel_support.h"
#include "platform/crt_random.h"

namespace grinsnap {

std::vector<cv::Point> HardPastelBrush(int a) {
  std::vector<cv::Point> brush;
  if (a < 0) return brush;
  const long long limit = static_cast<long long>(a) * a;
  for (int dx = -a; dx <= a; ++dx)
    for (int dy = -a; dy <= a; ++dy)
      if (static_cast<long long>(dx) * dx + static_cast<long long>(dy) * dy <= limit) brush.emplace_back(dx, dy);
  return brush;
}

void HardPastelKernel(const cv::Mat& src, cv::Mat& dst, int a, float k, int m, std::uint32_t seed) {
  CV_Assert(src.type() == CV_8UC3);
  dst.create(src.size(), CV_8UC3);
  dst.setTo(cv::Scalar::all(255));
  CrtRandom random(seed);
  std::vector<cv::Point> brush = HardPastelBrush(CapBrushSize(a, src.size()));
  std::vector<cv::Point> accents;
  ThinBrush(brush, ThinningCount(brush.size(), k), random, static_cast<std::size_t>(std::max(m, 0)), &accents);
  PaintCrayonDabs(src, dst, brush, accents, random, nullptr);
  FillWhite(src, dst);
}

CF_HardPastel::CF_HardPastel() : CF_SimpleFilter(kClassName, kTraits) {}

bool CF_HardPastel::RunKernel(const cv::Mat& in, cv::Mat& out) {
  HardPastelKernel(in, out, TruncateToInt(Param(kRadius)), Param(kDensity), TruncateToInt(Param(kAccents)), seed_);
  return true;
}

}  // namespace grinsnap
