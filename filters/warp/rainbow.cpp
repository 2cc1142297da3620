#include "filters/warp/rainbow.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <stdexcept>

#include "core/sampler.h"
#include "filters/colour_circle.h"
#include "filters/kernel_support.h"
#include "render/rasteriser.h"

namespace grinsnap {

namespace {
// Beyond this many segments the band would wind round its circle hundreds of
// times; such a length is refused rather than drawn for minutes.
constexpr std::int64_t kMostSegments = 1'000'000;
}  // namespace

std::vector<RainbowCorner> RainbowArch(int width, int height, float p, float q, float k) {
  constexpr float kPi = std::numbers::pi_v<float>;
  const float radius = static_cast<float>(std::max(width, height));
  const float cx = static_cast<float>(width / 2);
  const float cy = (0.9f * p + 0.05f) * static_cast<float>(height);
  const float band = radius / 10.0f * k;
  const float length = q * static_cast<float>(width);
  const float segments = length / 10.0f;
  if (!(segments >= 1.0f)) return {};
  if (segments > static_cast<float>(kMostSegments)) throw std::runtime_error("the rainbow is too long to draw");
  const int n = static_cast<int>(segments);
  const float half = length / (2.0f * radius);
  const float outer = radius + band / 2.0f, inner = radius - band / 2.0f;
  std::vector<RainbowCorner> corners;
  corners.reserve(2 * static_cast<std::size_t>(n) + 2);
  for (int s = 0; s <= n; ++s) {
    const float angle = kPi / 2.0f + half - 2.0f * half * static_cast<float>(s) / static_cast<float>(n);
    const float u = static_cast<float>(s) / static_cast<float>(n);
    const float c = std::cos(angle), sn = std::sin(angle);
    corners.push_back({cx - c * outer, cy + radius - sn * outer, u, 0.0f});
    corners.push_back({cx - c * inner, cy + radius - sn * inner, u, 1.0f});
  }
  return corners;
}

bool RainbowKernel(const cv::Mat& src, cv::Mat& dst, float p, float q, float k, const std::atomic<bool>* cancel) {
  CV_Assert(src.type() == CV_8UC3);
  const cv::Mat in = Unaliased(src, dst);
  in.copyTo(dst);
  if (in.empty()) return true;
  const std::vector<RainbowCorner> corners = RainbowArch(in.cols, in.rows, p, q, k);
  if (corners.empty()) return true;
  const cv::Mat hues = ColourCircleRow(800);
  const TypedSampler<float, 3, 3> hue(hues, SampleBorder::Tile);

  const int segments = static_cast<int>(corners.size() / 2) - 1;
  for (int i = 0; i < segments; ++i) {
    if (CancelRequested(cancel)) return false;
    const int triangles[2][3] = {{2 * i, 2 * i + 1, 2 * i + 3}, {2 * i + 3, 2 * i + 2, 2 * i}};
    for (const auto& t : triangles) {
      const RainbowCorner& c1 = corners[t[0]];
      const RainbowCorner& c2 = corners[t[1]];
      const RainbowCorner& c3 = corners[t[2]];
      // In output pixels at depth 1: the weights interpolate linearly.
      const ProjectedCorner projected[3] = {{c1.x, c1.y, 1.0f}, {c2.x, c2.y, 1.0f}, {c3.x, c3.y, 1.0f}};
      RasteriseTriangle(projected, {}, in.size(), CullMode::None, [&](int x, int y, float beta, float gamma) {
        const float u = c1.u + beta * (c2.u - c1.u) + gamma * (c3.u - c1.u);
        const float v = c1.v + beta * (c2.v - c1.v) + gamma * (c3.v - c1.v);
        const float du = 2.0f * u - 1.0f, dv = 2.0f * v - 1.0f;
        const float g = std::exp(-4.0f * (du * du + dv * dv));
        const cv::Vec3f colour = hue.At(1.3f * v, 0.0f);
        const std::uint8_t* photo = in.ptr<std::uint8_t>(y) + 3 * x;
        std::uint8_t* out = dst.ptr<std::uint8_t>(y) + 3 * x;
        for (int c = 0; c < 3; ++c) out[c] = ClampToByte(g * colour[c] + (1.0f - g) * static_cast<float>(photo[c]));
      });
    }
  }
  return true;
}

CF_Rainbow::CF_Rainbow() : CF_SimpleFilter(kClassName, kTraits) {}

bool CF_Rainbow::RunKernel(const cv::Mat& in, cv::Mat& out) {
  return RainbowKernel(in, out, Param(kHeight), Param(kLength), Param(kWidth), StopFlag());
}

}  // namespace grinsnap
