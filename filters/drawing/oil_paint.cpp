#include "filters/drawing/oil_paint.h"

#include <algorithm>

#include "filters/drawing/dab_painting.h"
#include "filters/drawing/drawing_support.h"
#include "filters/drawing/wax_pen.h"

namespace grinsnap {

std::vector<cv::Point> OilPaintBrush(int r, CrtRandom& random) {
  std::vector<cv::Point> brush;
  if (r < 0) return brush;
  const std::size_t length = 2 * static_cast<std::size_t>(r) + 1;
  std::vector<int> upper(length), lower(length);
  upper[0] = random.Next() * 5 / 32767 + 5;
  lower[0] = random.Next() * 5 / 32767 - 10;
  for (std::size_t t = 1; t < length; ++t) {
    upper[t] = random.Next() * 3 / 32768 + upper[t - 1] - 1;
    lower[t] = random.Next() * 3 / 32768 + lower[t - 1] - 1;
  }
  for (int dx = -r; dx <= r; ++dx)
    for (int dy = -r; dy <= r; ++dy) {
      const int along = dx + dy;
      if (along < -r || along > r) continue;
      const std::size_t i = static_cast<std::size_t>(r + along);
      const int across = dx - dy;
      if (lower[i] < across && across < upper[i]) brush.emplace_back(dx, dy);
    }
  return brush;
}

bool OilPaintKernel(const cv::Mat& src, cv::Mat& dst, int r, std::uint32_t seed, const std::atomic<bool>* cancel) {
  CV_Assert(src.type() == CV_8UC3);
  const int width = src.cols, height = src.rows;
  dst.create(src.size(), CV_8UC3);
  dst.setTo(cv::Scalar::all(255));
  CrtRandom random(seed);
  const std::vector<cv::Point> brush = OilPaintBrush(CapBrushSize(r, src.size()), random);
  std::int64_t remaining = static_cast<std::int64_t>(width) * height;
  if (!brush.empty() && remaining > kDabRemainder) {
    cv::Mat counts(src.size(), CV_32SC1, cv::Scalar(0));
    // Every dab mixes into what the dabs before it left: sequential.
    do {
      const int col = static_cast<int>(static_cast<std::int64_t>(random.Next()) * width / 32768);
      const int row = static_cast<int>(static_cast<std::int64_t>(random.Next()) * height / 32768);
      const std::uint8_t* c = src.ptr<std::uint8_t>(row) + 3 * col;
      std::int64_t painted = 0;
      for (const cv::Point& d : brush) {
        const int x = col + d.x, y = row + d.y;
        if (x < 0 || y < 0 || x >= width || y >= height) continue;
        std::uint8_t* p = dst.ptr<std::uint8_t>(y) + 3 * x;
        std::int32_t& n = counts.ptr<std::int32_t>(y)[x];
        if (IsPureWhite(p)) {
          p[0] = c[0], p[1] = c[1], p[2] = c[2];
          ++painted;
        } else {
          const std::int64_t weight = n;
          for (int ch = 0; ch < 3; ++ch)
            p[ch] = static_cast<std::uint8_t>((c[ch] + p[ch] * weight) / (weight + 1));
        }
        if (n < INT32_MAX) ++n;
      }
      remaining -= std::max<std::int64_t>(painted, 1);
      if (CancelRequested(cancel)) return false;
    } while (remaining > kDabRemainder);
  }
  FillWhite(src, dst);
  return true;
}

CF_OilPaint::CF_OilPaint() : CF_SimpleFilter(kClassName, kTraits) {}

bool CF_OilPaint::RunKernel(const cv::Mat& in, cv::Mat& out) {
  return OilPaintKernel(in, out, TruncateToInt(Param(kSize)), seed_, StopFlag());
}

}  // namespace grinsnap
