#include "filters/warp/grid.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/sampler.h"
#include "filters/kernel_support.h"

namespace grinsnap {

cv::Mat GridRelief(cv::Size size, int a, int b) {
  cv::Mat relief(size, CV_32FC1, cv::Scalar(0));
  if (a < 1) return relief;
  const float low = static_cast<float>(-b), high = static_cast<float>(b);
  for (int y = 0; y < size.height; ++y) {
    float* row = relief.ptr<float>(y);
    const int m = y % a;
    if (m == a - 3 || m == a - 2 || m == a - 1) {
      std::fill_n(row, size.width, m == a - 3 ? low : m == a - 2 ? 0.0f : high);
      continue;
    }
    for (int x = 0; x < size.width; ++x) {
      const int n = x % a;
      if (n == a - 3) row[x] = low;
      if (n == a - 1) row[x] = high;
    }
  }
  return relief;
}

bool GridKernel(const cv::Mat& src, cv::Mat& dst, int a, int b, const std::atomic<bool>* cancel) {
  CV_Assert(src.type() == CV_8UC3);
  const cv::Mat in = Unaliased(src, dst);
  dst.create(in.size(), CV_8UC3);
  if (in.empty()) return true;
  const int width = in.cols, height = in.rows;
  cv::Size mapSize = in.size();
  constexpr int kLargestMap = 1024;
  if (width > kLargestMap || height > kLargestMap) {
    const double f = std::min(static_cast<double>(kLargestMap) / width, static_cast<double>(kLargestMap) / height);
    mapSize = {std::max(1, static_cast<int>(std::lround(width * f))), std::max(1, static_cast<int>(std::lround(height * f)))};
  }
  const cv::Mat relief = GridRelief(mapSize, a, b);
  const TypedSampler<float, 1, 1> sampler(relief, SampleBorder::Clamp);
  const float fw = static_cast<float>(width), fh = static_cast<float>(height);
  return ParallelRows(height, cancel, [&](int y) {
    const std::uint8_t* p = in.ptr<std::uint8_t>(y);
    std::uint8_t* out = dst.ptr<std::uint8_t>(y);
    const float v = static_cast<float>(y) / fh;
    for (int x = 0; x < width; ++x, p += 3, out += 3) {
      const float lift = sampler.At(static_cast<float>(x) / fw, v)[0];
      for (int c = 0; c < 3; ++c) out[c] = ClampToByte(static_cast<float>(p[c]) + lift);
    }
  });
}

CF_Grid::CF_Grid() : CF_SimpleFilter(kClassName, kTraits) {}

bool CF_Grid::RunKernel(const cv::Mat& in, cv::Mat& out) {
  return GridKernel(in, out, TruncateToInt(Param(kPeriod)), TruncateToInt(Param(kRelief)), StopFlag());
}

}  // namespace grinsnap
