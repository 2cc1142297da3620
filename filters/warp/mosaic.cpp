#include "filters/warp/mosaic.h"

#include <algorithm>
#include <cstdint>

#include "core/variable_block.h"
#include "filters/kernel_support.h"

namespace grinsnap {

MosaicArea MosaicAreaFor(cv::Size size, float f, float x, float y, float w, float h) {
  MosaicArea area;
  const bool whole = x < 0 || y < 0 || w < 0 || h < 0;
  if (whole) {
    // The cell is a fraction of the picture's own shorter side then; the
    // negative entries would make it vanish.
    area.region = cv::Rect(0, 0, size.width, size.height);
    w = h = 1.0f;
  } else {
    const float fw = static_cast<float>(size.width), fh = static_cast<float>(size.height);
    // Block values are whatever was typed: the sums are clipped in 64 bits.
    const std::int64_t left = TruncateToInt(x * fw), top = TruncateToInt(y * fh);
    const std::int64_t right = TruncateToInt(w * fw) + left, bottom = TruncateToInt(h * fh) + top;
    auto clip = [](std::int64_t v, int limit) { return static_cast<int>(std::clamp<std::int64_t>(v, 0, limit)); };
    area.region = cv::Rect(cv::Point(clip(left, size.width), clip(top, size.height)),
                           cv::Point(clip(right, size.width), clip(bottom, size.height)));
  }
  if (!(f > 0.0f)) return area;
  const float shorter = std::min(static_cast<float>(size.height) * h, static_cast<float>(size.width) * w);
  area.cell = std::max(1, TruncateToInt(f * shorter));
  return area;
}

bool MosaicKernel(cv::Mat& img, cv::Rect region, int cell, const std::atomic<bool>* cancel) {
  CV_Assert(img.type() == CV_8UC3);
  region &= cv::Rect(0, 0, img.cols, img.rows);
  if (cell < 1 || region.empty()) return true;
  const int x0 = region.x, x1 = region.x + region.width;
  const int y0 = region.y, y1 = region.y + region.height;
  const int bands = (region.height + cell - 1) / cell;
  // Each band of cells reads and writes its own rows: bands run in parallel.
  return ParallelRows(bands, cancel, [&](int band) {
    const int top = y0 + band * cell, bottom = std::min(top + cell, y1);
    for (int left = x0 / cell * cell; left < x1; left += cell) {
      const int from = std::max(left, x0), to = std::min(left + cell, x1);
      std::int64_t sum[3] = {0, 0, 0};
      for (int y = top; y < bottom; ++y) {
        const std::uint8_t* p = img.ptr<std::uint8_t>(y) + 3 * from;
        for (int x = from; x < to; ++x, p += 3) sum[0] += p[0], sum[1] += p[1], sum[2] += p[2];
      }
      const std::int64_t count = static_cast<std::int64_t>(to - from) * (bottom - top);
      const std::uint8_t mean[3] = {static_cast<std::uint8_t>(sum[0] / count), static_cast<std::uint8_t>(sum[1] / count),
                                    static_cast<std::uint8_t>(sum[2] / count)};
      for (int y = top; y < bottom; ++y) {
        std::uint8_t* p = img.ptr<std::uint8_t>(y) + 3 * from;
        for (int x = from; x < to; ++x, p += 3) p[0] = mean[0], p[1] = mean[1], p[2] = mean[2];
      }
    }
  });
}

CF_Mosaic::CF_Mosaic() : CF_SimpleFilter(kClassName, kTraits) {}

bool CF_Mosaic::RunKernel(const cv::Mat& in, cv::Mat& out) {
  in.copyTo(out);
  const MosaicArea area =
      MosaicAreaFor(out.size(), Param(kCellSize), Var(kBlockRoiX, 0.25f), Var(kBlockRoiY, 0.25f),
                    Var(kBlockRoiWidth, 0.5f), Var(kBlockRoiHeight, 0.5f));
  return MosaicKernel(out, area.region, area.cell, StopFlag());
}

}  // namespace grinsnap
