#include "filters/tone/lomo.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include <opencv2/core.hpp>

#include "filters/tone/tone_support.h"
#include "core/xml_params.h"

namespace grinsnap {
namespace {

// Brightness l = (B + G + R) / 3 only takes 766 values, one per channel sum.
constexpr int kSums = 3 * 255 + 1;

// The mean of all three channels over the picture, truncated. The channel
// sums are whole numbers held exactly in doubles, so integer division
// truncates the exact mean.
int MeanLevel(const cv::Mat& src) {
  const cv::Scalar sums = cv::sum(src);
  const auto total = static_cast<std::uint64_t>(sums[0] + sums[1] + sums[2]);
  const std::uint64_t samples = 3ull * static_cast<std::uint64_t>(src.total());
  return static_cast<int>(total / samples);
}

}  // namespace

bool LomoKernel(const cv::Mat& src, cv::Mat& dst, float blackness, float intense, const std::atomic<bool>* cancel) {
  CV_Assert(src.type() == CV_8UC3);
  dst.create(src.size(), CV_8UC3);
  if (src.empty()) return true;

  const float threshold = static_cast<float>(MeanLevel(src)) * blackness;
  const float scale = std::max(threshold, 1.0f);
  // The darkening depends on the pixel only through its channel sum, so it is
  // worked out once per sum, with the same float operations a per-pixel
  // evaluation would do.
  std::array<float, kSums> darken{};
  for (int sum = 0; sum < kSums; ++sum) {
    const float l = static_cast<float>(sum) / 3.0f;
    if (threshold > l) {
      const float q = (l - threshold) / scale;
      darken[sum] = 255.0f * (q * q) * intense;
    }
  }

  // Every pixel depends on itself alone: rows run in parallel.
  return ParallelRows(src.rows, cancel, [&](int y) {
    const std::uint8_t* in = src.ptr<std::uint8_t>(y);
    std::uint8_t* out = dst.ptr<std::uint8_t>(y);
    for (int x = 0; x < src.cols; ++x) {
      const std::uint8_t* p = in + 3 * x;
      const float d = darken[p[0] + p[1] + p[2]];
      for (int c = 0; c < 3; ++c) out[3 * x + c] = ClampToByte(static_cast<float>(p[c]) - d);
    }
  });
}

CF_Lomo::CF_Lomo() : CF_SimpleFilter(kClassName, {}) {}

int CF_Lomo::Load() {
  CF_SimpleFilter::Load();
  blackness_ = 0;
  intense_ = 0;
  // Unlike most filters these sit on the filter element, not on "param".
  ReadAttribute(element_, "blackness", blackness_);
  ReadAttribute(element_, "intense", intense_);
  return 0;
}

bool CF_Lomo::RunKernel(const cv::Mat& in, cv::Mat& out) {
  return LomoKernel(in, out, blackness_, intense_, StopFlag());
}

}  // namespace grinsnap
