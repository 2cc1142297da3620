#include "filters/weather/water_surface.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include <opencv2/imgproc.hpp>

#include "filters/kernel_support.h"

namespace grinsnap {

namespace {
// Rows are shaded in bands of this many: each band works out its reads,
// fetches them with one remap and then lights them.
constexpr int kBandRows = 16;
}  // namespace

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
  const int bands = (rows + kBandRows - 1) / kBandRows;
  // Every pixel depends on its own heights alone and the remap reads each
  // position the same way in any band: bands run in parallel.
  return ParallelRows(bands, cancel, [&](int band) {
    const int top = band * kBandRows, bottom = std::min(top + kBandRows, rows);
    const int n = bottom - top;
    // Each thread keeps its band's buffers from one band to the next.
    thread_local cv::Mat map, seen, shade, glint;
    map.create(n, width, CV_32FC2);
    shade.create(n, width, CV_32FC1);
    glint.create(n, width, CV_32FC1);
    for (int y = top; y < bottom; ++y) {
      const float* h = height.ptr<float>(y);
      const float* below = height.ptr<float>(std::min(y + 1, rows - 1));
      cv::Vec2f* to = map.ptr<cv::Vec2f>(y - top);
      float* diffuseRow = shade.ptr<float>(y - top);
      float* glintRow = glint.ptr<float>(y - top);
      // Written without branches over plain arrays, so that the compiler can
      // work on several pixels at once.
      const bool bends = c > 0.0f;
      for (int x = 0; x < width; ++x) {
        // The last column and row have no neighbour beyond them: flat there.
        const float dx = x + 1 < width ? h[x + 1] - h[x] : 0.0f;
        const float dy = y + 1 < rows ? below[x] - h[x] : 0.0f;
        const float n2 = dx * dx + dy * dy + light.vertical * light.vertical;
        const float inverse = 1.0f / std::sqrt(std::max(n2, 1e-30f));
        const float nx = -dx * inverse, ny = -dy * inverse, nz = light.vertical * inverse;
        // The view ray (0, 0, -1) refracted into the water (Snell's law with
        // the ratio c); past total reflection the ray goes straight down.
        const float k = 1.0f - c * c * (1.0f - nz * nz);
        const bool through = bends && k >= 0.0f;
        const float along = c * nz - std::sqrt(std::max(k, 0.0f));
        const float tx = through ? along * nx : 0.0f, ty = through ? along * ny : 0.0f;
        const float tz = through ? -c + along * nz : -1.0f;
        const float reach = tz < -1e-3f ? light.depth * h[x] / -tz : 0.0f;
        to[x] = {static_cast<float>(x) + tx * reach, static_cast<float>(y) + ty * reach};
        const float diffuse = std::max(nx * l[0] + ny * l[1] + nz * l[2], 0.0f);
        diffuseRow[x] = diffuse;
        // Below 0.85 the hundredth power is under 1e-7: no glint to speak of.
        const float d2 = diffuse * diffuse, d4 = d2 * d2, d8 = d4 * d4, d16 = d8 * d8, d32 = d16 * d16;
        glintRow[x] = diffuse > 0.85f ? light.glint * (d32 * d32 * d32 * d4) : 0.0f;
      }
    }
    cv::remap(in, seen, map, cv::noArray(), cv::INTER_LINEAR, cv::BORDER_REPLICATE);
    for (int y = top; y < bottom; ++y) {
      const std::uint8_t* s = seen.ptr<std::uint8_t>(y - top);
      const float* d = shade.ptr<float>(y - top);
      const float* g = glint.ptr<float>(y - top);
      std::uint8_t* out = dst.ptr<std::uint8_t>(y);
      for (int x = 0; x < width; ++x, s += 3, out += 3)
        for (int ch = 0; ch < 3; ++ch) out[ch] = ClampToByte(g[x] + d[x] * static_cast<float>(s[ch]));
    }
  });
}

}  // namespace grinsnap
