#include "filters/tone/emboss.h"

#include <algorithm>
#include <cstdint>

#include <opencv2/core/hal/intrin.hpp>

#include "filters/tone/tone_support.h"

namespace grinsnap {
namespace {

inline std::uint8_t Difference(int ahead, int here, int bias) {
  return static_cast<std::uint8_t>(std::clamp(ahead - here + bias, 0, 255));
}

// out[i] = clamp(ahead[i] - here[i] + bias) over n bytes. out may be here
// (each chunk is read before it is written) but must not overlap ahead.
// bias must lie in -256..511 so that 16-bit lanes cannot overflow.
void DifferenceSpan(const std::uint8_t* ahead, const std::uint8_t* here, std::uint8_t* out, int n, int bias) {
  int i = 0;
#if CV_SIMD128
  const cv::v_int16x8 vbias = cv::v_setall_s16(static_cast<short>(bias));
  for (; i + 16 <= n; i += 16) {
    cv::v_uint16x8 a0, a1, h0, h1;
    cv::v_expand(cv::v_load(ahead + i), a0, a1);
    cv::v_expand(cv::v_load(here + i), h0, h1);
    const cv::v_int16x8 d0 = cv::v_reinterpret_as_s16(a0) - cv::v_reinterpret_as_s16(h0) + vbias;
    const cv::v_int16x8 d1 = cv::v_reinterpret_as_s16(a1) - cv::v_reinterpret_as_s16(h1) + vbias;
    cv::v_store(out + i, cv::v_pack_u(d0, d1));
  }
#endif
  for (; i < n; ++i) out[i] = Difference(ahead[i], here[i], bias);
}

// One row whose reads come from a row that this pass does not write: the
// pixel at column x reads column x + offset of aheadRow, clamped to 0..W-1.
void EmbossRow(const std::uint8_t* aheadRow, const std::uint8_t* here, std::uint8_t* out, int width, int offset,
               int bias) {
  // Columns whose partner lies inside the row, and the columns before and
  // after them whose partner is clamped to the first or the last column.
  const int first = offset < 0 ? std::min(width, -offset) : 0;
  const int last = offset > 0 ? std::max(0, width - offset) : width;  // exclusive
  for (int x = 0; x < first; ++x)
    for (int c = 0; c < 3; ++c) out[3 * x + c] = Difference(aheadRow[c], here[3 * x + c], bias);
  if (last > first)
    DifferenceSpan(aheadRow + 3 * (first + offset), here + 3 * first, out + 3 * first, 3 * (last - first), bias);
  const std::uint8_t* lastPixel = aheadRow + 3 * (width - 1);
  for (int x = std::max(last, first); x < width; ++x)
    for (int c = 0; c < 3; ++c) out[3 * x + c] = Difference(lastPixel[c], here[3 * x + c], bias);
}

}  // namespace

bool EmbossKernel(const cv::Mat& src, cv::Mat& dst, int offset, int bias, const std::atomic<bool>* cancel) {
  CV_Assert(src.type() == CV_8UC3);
  const cv::Mat in = Unaliased(src, dst);
  dst.create(in.size(), CV_8UC3);
  if (in.empty()) return true;
  // Beyond these the result no longer changes: every value clamps to 0 or 255.
  bias = std::clamp(bias, -256, 511);
  const int width = in.cols, height = in.rows;

  if (offset >= 0) {
    // A forward pass in place with a non-negative offset reads only pixels
    // it has not replaced yet (later rows, later columns, or the pixel
    // itself), so reading the untouched copy gives the same picture and the
    // rows can run in parallel.
    return ParallelRows(height, cancel, [&](int y) {
      const int aheadY = offset >= height - y ? height - 1 : y + offset;
      EmbossRow(in.ptr<std::uint8_t>(aheadY), in.ptr<std::uint8_t>(y), dst.ptr<std::uint8_t>(y), width, offset,
                bias);
    });
  }

  // A negative offset reads pixels the pass has already replaced, so it runs
  // sequentially in place, as the effect is defined. Coordinates before the
  // first row or column clamp to it.
  in.copyTo(dst);
  for (int y = 0; y < height; ++y) {
    if (CancelRequested(cancel)) return false;
    std::uint8_t* row = dst.ptr<std::uint8_t>(y);
    if (y == 0) {
      // The first row reads itself: each pixel sees the replaced values of
      // the columns before it, one at a time.
      for (int x = 0; x < width; ++x) {
        const int from = std::max(x + offset, 0);
        for (int c = 0; c < 3; ++c) row[3 * x + c] = Difference(row[3 * from + c], row[3 * x + c], bias);
      }
      continue;
    }
    // Later rows read an earlier row, which is complete already.
    const int aheadY = std::max(y + offset, 0);
    EmbossRow(dst.ptr<std::uint8_t>(aheadY), row, row, width, offset, bias);
  }
  return true;
}

CF_Emboss::CF_Emboss() : CF_SimpleFilter(kClassName, kTraits) {}

bool CF_Emboss::RunKernel(const cv::Mat& in, cv::Mat& out) {
  return EmbossKernel(in, out, TruncateToInt(Param(kOffset)), TruncateToInt(Param(kBias)), StopFlag());
}

}  // namespace grinsnap
