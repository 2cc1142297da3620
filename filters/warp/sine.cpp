#include "filters/warp/sine.h"

#include <cmath>
#include <numbers>

#include "filters/warp/warp_sampling.h"

namespace grinsnap {

cv::Point2f ArcsinePosition(int x, int y, int width, int height, float k, float s) {
  constexpr float kPi = std::numbers::pi_v<float>;
  const float a = k * (2.0f * static_cast<float>(x) / static_cast<float>(width) - 1.0f);
  const float b = k * (2.0f * static_cast<float>(y) / static_cast<float>(height) - 1.0f);

  // The principal square root of 1 - z^2 = (1 - a^2 + b^2) - 2ab i, taken
  // in the form that does not lose the smaller part to cancellation.
  const float p = 1.0f - a * a + b * b;
  const float q = -2.0f * a * b;
  const float m = std::sqrt(p * p + q * q);
  float re = 0.0f, im = 0.0f;
  if (m > 0.0f) {
    if (p >= 0.0f) {
      re = std::sqrt(0.5f * (m + p));
      im = q / (2.0f * re);
    } else {
      im = std::copysign(std::sqrt(0.5f * (m - p)), q);
      re = q / (2.0f * im);
    }
  }
  // On the axes, where 1 - z^2 is real, the principal root alone would
  // leave the side to the sign of a zero.
  const bool nonPositive = (a > 0.0f && b > 0.0f) || (a < 0.0f && b < 0.0f);
  if (nonPositive ? im > 0.0f : im < 0.0f) re = -re, im = -im;

  // w = -i log(t) = arg t - i ln |t|, with t = i z + root.
  const float tr = re - b;
  const float ti = im + a;
  const float wr = std::atan2(ti, tr);
  const float wi = -0.5f * std::log(tr * tr + ti * ti);
  return {s * (2.0f * wr / kPi + 1.0f) / 2.0f, s * (2.0f * wi / kPi + 1.0f) / 2.0f};
}

bool SineKernel(const cv::Mat& src, cv::Mat& dst, float k, float s, const std::atomic<bool>* cancel) {
  const cv::Mat in = Unaliased(src, dst);
  const int width = in.cols, height = in.rows;
  return WarpBySampling(
      in, dst, SampleBorder::Tile, WarpStore::Truncate,
      [&](int x, int y, float& u, float& v) {
        const cv::Point2f p = ArcsinePosition(x, y, width, height, k, s);
        u = p.x, v = p.y;
        return true;
      },
      cancel);
}

CF_Sine::CF_Sine() : CF_SimpleFilter(kClassName, kTraits) {}

bool CF_Sine::RunKernel(const cv::Mat& in, cv::Mat& out) {
  return SineKernel(in, out, Param(kScale), Param(kTiling), StopFlag());
}

}  // namespace grinsnap
