#pragma once

// The summed-area table the colour and tone kernels share; the conversions
// and the parallel row loop every family uses are in filters/kernel_support.h.

#include <algorithm>
#include <atomic>
#include <cstdint>

#include <opencv2/core.hpp>
#include <opencv2/core/utility.hpp>

#include "filters/kernel_support.h"

namespace grinsnap {

// Summed-area table of an 8-bit, 3-channel picture, one row and one column
// larger than it: entry (y, x) holds, per channel, the sum over rows before y
// and columns before x. Sums are 32-bit and wrap around; a box sum is the
// difference of four entries taken modulo 2^32, which is exact as long as the
// box itself sums to less than 2^32 (any picture under 16 million pixels).
class SummedTable {
public:
  // Returns false, leaving the table unfinished, when cancel was set; it is
  // polled once per row.
  bool Build(const cv::Mat& src, const std::atomic<bool>* cancel) {
    CV_Assert(src.type() == CV_8UC3);
    const int width = src.cols;
    table_.create(src.rows + 1, width + 1, CV_32SC3);
    std::fill_n(MutableRow(0), 3 * static_cast<std::size_t>(width + 1), 0u);
    // Each row adds a running sum along the row to the row above; rows depend
    // on the previous one, so the build is sequential.
    for (int y = 1; y <= src.rows; ++y) {
      if (CancelRequested(cancel)) return false;
      const std::uint8_t* in = src.ptr<std::uint8_t>(y - 1);
      const std::uint32_t* above = Row(y - 1);
      std::uint32_t* out = MutableRow(y);
      std::uint32_t run[3] = {0, 0, 0};
      out[0] = out[1] = out[2] = 0;
      for (int x = 0; x < width; ++x)
        for (int c = 0; c < 3; ++c) {
          run[c] += in[3 * x + c];
          out[3 * (x + 1) + c] = above[3 * (x + 1) + c] + run[c];
        }
    }
    return true;
  }

  // Row y of the table: 3 x (width + 1) entries.
  const std::uint32_t* Row(int y) const { return reinterpret_cast<const std::uint32_t*>(table_.ptr(y)); }

  // Sum of channel c over rows y0 .. y1 - 1 and columns x0 .. x1 - 1, given
  // the table rows y0 (top) and y1 (bottom).
  static std::uint32_t BoxSum(const std::uint32_t* top, const std::uint32_t* bottom, int x0, int x1, int c) {
    return bottom[3 * x1 + c] - bottom[3 * x0 + c] - top[3 * x1 + c] + top[3 * x0 + c];
  }

private:
  std::uint32_t* MutableRow(int y) { return reinterpret_cast<std::uint32_t*>(table_.ptr(y)); }

  cv::Mat table_;
};

}  // namespace grinsnap
