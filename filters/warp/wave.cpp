#include "filters/warp/wave.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "filters/kernel_support.h"

namespace grinsnap {

bool WaveKernel(const cv::Mat& src, cv::Mat& dst, float a, float b, float c, const std::atomic<bool>* cancel) {
  CV_Assert(src.type() == CV_8UC3);
  const cv::Mat in = Unaliased(src, dst);
  dst.create(in.size(), CV_8UC3);
  if (in.empty()) return true;
  const int width = in.cols, height = in.rows;
  const float m = static_cast<float>(std::min(width, height));
  const float a2 = a * a;
  const float heightScale = static_cast<float>(height);
  // The light comes from (0.25, 0.25, 1), normalised.
  const float lightLength = std::sqrt(0.25f * 0.25f + 0.25f * 0.25f + 1.0f);
  const float lx = 0.25f / lightLength, ly = 0.25f / lightLength, lz = 1.0f / lightLength;

  // Each pixel depends on its own position and the source alone: rows run in
  // parallel.
  return ParallelRows(height, cancel, [&](int i) {
    const float y = static_cast<float>(i - height / 2) / m;
    std::uint8_t* out = dst.ptr<std::uint8_t>(i);
    for (int j = 0; j < width; ++j, out += 3) {
      const float x = static_cast<float>(j - width / 2) / m;
      // The surface h = b cos(r2) and its slope.
      const float r2 = (x * x + y * y) / a2;
      const float h = b * std::cos(r2);
      const float e = -b * std::sin(r2) / a2;
      const float gy = 2.0f * y * e, gx = 2.0f * x * e;
      const float length = std::sqrt(gy * gy + gx * gx + 1.0f);
      const float ny = gy / length, nx = gx / length, nz = 1.0f / length;

      // The ray through the surface, refracted with the ratio c. Past total
      // reflection (c above 1) the root would not be real; it is held at 0.
      const float jr = -c * ny * nz, kr = -c * nx * nz, gr = c * (1.0f - nz * nz);
      const float lr = std::sqrt(std::max(0.0f, 1.0f - (jr * jr + kr * kr + gr * gr)));
      const float t1 = jr + lr * ny, t2 = kr + lr * nx, t3 = gr + lr * nz;
      // The row moves with the second component, the column with the first.
      const int row = std::clamp(TruncateToInt(static_cast<float>(i) + heightScale * h * t2 / t3), 0, height - 1);
      const int column = std::clamp(TruncateToInt(static_cast<float>(j) + heightScale * h * t1 / t3), 0, width - 1);

      float diffuse = ny * ly + nx * lx + nz * lz;
      if (diffuse < 0.2f) diffuse = 0.2f;
      const float specular = 100.0f * std::pow(diffuse, 100.0f);
      const std::uint8_t* seen = in.ptr<std::uint8_t>(row) + 3 * column;
      for (int ch = 0; ch < 3; ++ch) out[ch] = ClampToByte(specular + diffuse * static_cast<float>(seen[ch]));
    }
  });
}

CF_Wave::CF_Wave() : CF_SimpleFilter(kClassName, kTraits) {}

bool CF_Wave::RunKernel(const cv::Mat& in, cv::Mat& out) {
  return WaveKernel(in, out, Param(kScale), Param(kAmplitude), Param(kRefraction), StopFlag());
}

}  // namespace grinsnap
