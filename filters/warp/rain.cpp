#include "filters/warp/rain.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "filters/kernel_support.h"

namespace grinsnap {

bool RainKernel(const cv::Mat& src, cv::Mat& dst, float lo, float hi, int drops, CrtRandom& random,
                const std::atomic<bool>* cancel) {
  CV_Assert(src.type() == CV_8UC3);
  if (src.data != dst.data) src.copyTo(dst);
  if (dst.empty()) return true;
  const int width = dst.cols, height = dst.rows;
  const float fw = static_cast<float>(width), fh = static_cast<float>(height);
  // One step along the slanted direction (-0.2, 1) is one unit long.
  const float s = std::sqrt(1.04f);
  // Beyond this half-length every further point lies outside the picture.
  const int longest = 2 * (width + height) + 2;

  // Sequential: streaks overlap and the order of the draws is the picture.
  for (int drop = 0; drop < drops; ++drop) {
    if (drop % 256 == 0 && CancelRequested(cancel)) return false;
    const int x0 = static_cast<int>(static_cast<float>(random.Next()) / 32768.0f * fw);
    const int y0 = static_cast<int>(static_cast<float>(random.Next()) / 32768.0f * fh);
    const int half = std::min(TruncateToInt(static_cast<float>(random.Next()) / 32767.0f * (hi - lo) + lo), longest);
    for (int t = -half; t < half; ++t) {
      const float along = static_cast<float>(t) / s;
      const int column = static_cast<int>(static_cast<float>(x0) - 0.2f * along);
      const int row = static_cast<int>(static_cast<float>(y0) + along);
      if (column < 0 || column >= width || row < 0 || row >= height) continue;
      std::uint8_t* p = dst.ptr<std::uint8_t>(row) + 3 * column;
      for (int c = 0; c < 3; ++c) p[c] = static_cast<std::uint8_t>(255.0f - (255.0f - static_cast<float>(p[c])) / 1.1f);
    }
  }
  return true;
}

CF_Rain::CF_Rain() : CF_SimpleFilter(kClassName, kTraits) {}

bool CF_Rain::RunKernel(const cv::Mat& in, cv::Mat& out) {
  CrtRandom random(seed_);
  return RainKernel(in, out, Param(kShortest), Param(kLongest), std::max(0, TruncateToInt(Param(kDrops))), random,
                    StopFlag());
}

}  // namespace grinsnap
