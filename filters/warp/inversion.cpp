#include "filters/warp/inversion.h"

#include "filters/warp/warp_sampling.h"

namespace grinsnap {

cv::Point2f InversionPosition(int x, int y, int width, int height, float k) {
  const float a = k * (2.0f * static_cast<float>(x) / static_cast<float>(width) - 1.0f);
  const float b = k * (2.0f * static_cast<float>(y) / static_cast<float>(height) - 1.0f);
  // 1 / z = conj(z) / |z|^2.
  const float norm = a * a + b * b;
  const float re = norm == 0.0f ? 0.0f : a / norm;
  const float im = norm == 0.0f ? 0.0f : -b / norm;
  return {(re + 1.0f) / 2.0f, (im + 1.0f) / 2.0f};
}

bool InversionKernel(const cv::Mat& src, cv::Mat& dst, float k, const std::atomic<bool>* cancel) {
  const cv::Mat in = Unaliased(src, dst);
  const int width = in.cols, height = in.rows;
  // Positions far outside the photo fold back by tiling, so every pixel
  // gets a colour.
  return WarpBySampling(
      in, dst, SampleBorder::Tile, WarpStore::Truncate,
      [&](int x, int y, float& u, float& v) {
        const cv::Point2f p = InversionPosition(x, y, width, height, k);
        u = p.x, v = p.y;
        return true;
      },
      cancel);
}

CF_Inversion::CF_Inversion() : CF_SimpleFilter(kClassName, kTraits) {}

bool CF_Inversion::RunKernel(const cv::Mat& in, cv::Mat& out) {
  return InversionKernel(in, out, Param(kScale), StopFlag());
}

}  // namespace grinsnap
