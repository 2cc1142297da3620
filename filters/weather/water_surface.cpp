#include "filters/weather/water_surface.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/sampler.h"
#include "filters/kernel_support.h"

namespace grinsnap {

bool ShadeWaterSurface(const cv::Mat& src, const cv::Mat& height, cv::Mat& dst, const WaterSurfaceLight& light,
                       const std::atomic<bool>* cancel) {
  CV_Assert(src.type() == CV_8UC3 && height.type() == CV_32FC1 && height.size() == src.size());
  const cv::Mat in = Unaliased(src, dst);
  dst.create(in.size(), CV_8UC3);
  if (in.empty()) return true;
  const int width = in.cols, rows = in.rows;
  const float length = std::sqrt(light.light.dot(light.light));
  const cv::Vec3f l = length > 0.0f ? light.light / length : cv::Vec3f(0, 0, 1);
  const float c = light.refraction;
  const TypedSampler<std::uint8_t, 3, 3> sampler(in, SampleBorder::Clamp);
  return ParallelRows(rows, cancel, [&](int y) {
    const float* h = height.ptr<float>(y);
    const float* below = height.ptr<float>(std::min(y + 1, rows - 1));
    std::uint8_t* out = dst.ptr<std::uint8_t>(y);
    for (int x = 0; x < width; ++x, out += 3) {
      // The last column and row have no neighbour beyond them: flat there.
      const float dx = x + 1 < width ? h[x + 1] - h[x] : 0.0f;
      const float dy = y + 1 < rows ? below[x] - h[x] : 0.0f;
      const float n2 = dx * dx + dy * dy + light.vertical * light.vertical;
      const float inverse = n2 > 0.0f ? 1.0f / std::sqrt(n2) : 0.0f;
      const float nx = -dx * inverse, ny = -dy * inverse, nz = light.vertical * inverse;
      // The view ray (0, 0, -1) refracted into the water (Snell's law with
      // the ratio c); past total reflection the ray goes straight down.
      const float k = 1.0f - c * c * (1.0f - nz * nz);
      float tx = 0.0f, ty = 0.0f, tz = -1.0f;
      if (k >= 0.0f && c > 0.0f) {
        const float along = c * nz - std::sqrt(k);
        tx = along * nx, ty = along * ny, tz = -c + along * nz;
      }
      const float reach = tz < -1e-3f ? light.depth * h[x] / -tz : 0.0f;
      const float sx = static_cast<float>(x) + 0.5f + tx * reach;
      const float sy = static_cast<float>(y) + 0.5f + ty * reach;
      const float diffuse = nx * l[0] + ny * l[1] + nz * l[2];
      const float shade = std::max(diffuse, 0.0f);
      const float specular = light.glint * static_cast<float>(Power100(shade));
      const cv::Vec3f seen = sampler.At(sx, sy, false);
      for (int ch = 0; ch < 3; ++ch) out[ch] = ClampToByte(specular + shade * seen[ch]);
    }
  });
}

}  // namespace grinsnap
