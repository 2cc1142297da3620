#include "filters/warp/inversion.h"

#include <vector>

#include "filters/warp/warp_sampling.h"

namespace grinsnap {

namespace {

inline float PlanePosition(int index, int size, float k) {
  return k * (2.0f * static_cast<float>(index) / static_cast<float>(size) - 1.0f);
}

inline cv::Point2f InvertedPosition(float a, float b) {
  // 1 / z = conj(z) / |z|^2.
  const float norm = a * a + b * b;
  const float re = norm == 0.0f ? 0.0f : a / norm;
  const float im = norm == 0.0f ? 0.0f : -b / norm;
  return {(re + 1.0f) / 2.0f, (im + 1.0f) / 2.0f};
}

}  // namespace

cv::Point2f InversionPosition(int x, int y, int width, int height, float k) {
  return InvertedPosition(PlanePosition(x, width, k), PlanePosition(y, height, k));
}

bool InversionKernel(const cv::Mat& src, cv::Mat& dst, float k, const std::atomic<bool>* cancel) {
  const cv::Mat in = Unaliased(src, dst);
  const int width = in.cols, height = in.rows;
  // The real parts of the columns and the imaginary parts of the rows,
  // worked out once.
  std::vector<float> columns(static_cast<std::size_t>(width)), rows(static_cast<std::size_t>(height));
  for (int x = 0; x < width; ++x) columns[x] = PlanePosition(x, width, k);
  for (int y = 0; y < height; ++y) rows[y] = PlanePosition(y, height, k);
  // Positions far outside the photo fold back by tiling, so every pixel
  // gets a colour.
  return WarpBySampling(
      in, dst, SampleBorder::Tile, WarpStore::Truncate,
      [&](int x, int y, float& u, float& v) {
        const cv::Point2f p = InvertedPosition(columns[x], rows[y]);
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
