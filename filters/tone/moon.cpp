#include "filters/tone/moon.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "filters/tone/tone_support.h"

namespace grinsnap {
namespace {

// The moon's colour, blue, green, red.
constexpr float kMoonColour[3] = {255.0f, 250.0f, 245.0f};
// expf of anything below this is 0: the term can be skipped without changing
// a bit of the sum.
constexpr float kExpUnderflow = -110.0f;

// How much of the moon colour a pixel at distance d from the rim takes; d is
// negative inside the disc. halo is a third of the picture's smaller side.
inline float HaloWeight(float d, float halo) {
  if (d < 0.0f) return 1.0f;
  const float s = d / halo;
  const float wide = -(s / 2.0f) * (s / 2.0f);
  const float narrow = -(40.0f * s) * (40.0f * s);
  float g = 0.0f;
  if (wide > kExpUnderflow) g += 0.8f * std::exp(wide);
  if (narrow > kExpUnderflow) g += 0.2f * std::exp(narrow);
  return g;
}

}  // namespace

MoonPlacement PlaceMoon(int width, int height, float position) {
  const float radius = 0.05f * static_cast<float>(std::min(width, height));
  return {2.0f * radius + (static_cast<float>(width) - 4.0f * radius) * position, 2.0f * radius, radius};
}

bool MoonKernel(const cv::Mat& src, cv::Mat& dst, float position, const std::atomic<bool>* cancel) {
  CV_Assert(src.type() == CV_8UC3);
  dst.create(src.size(), CV_8UC3);
  if (src.empty()) return true;
  const MoonPlacement moon = PlaceMoon(src.cols, src.rows, position);
  const float halo = static_cast<float>(std::min(src.cols, src.rows)) / 3.0f;

  std::vector<float> dx2(src.cols);
  for (int x = 0; x < src.cols; ++x) {
    const float dx = static_cast<float>(x) - moon.x;
    dx2[x] = dx * dx;
  }

  // Every pixel depends on itself alone: rows run in parallel.
  return ParallelRows(src.rows, cancel, [&](int y) {
    const float dy = static_cast<float>(y) - moon.y;
    const float dy2 = dy * dy;
    const std::uint8_t* in = src.ptr<std::uint8_t>(y);
    std::uint8_t* out = dst.ptr<std::uint8_t>(y);
    for (int x = 0; x < src.cols; ++x) {
      const int b = in[3 * x], g = in[3 * x + 1], r = in[3 * x + 2];
      // Night tint: most of the light goes to blue, little stays red.
      const float tint[3] = {static_cast<float>(150 * b + 110 * g + 100 * r) / 255.0f,
                             static_cast<float>(75 * g + 70 * r) / 255.0f,
                             static_cast<float>(55 * g + 50 * r) / 255.0f};
      const float weight = HaloWeight(std::sqrt(dx2[x] + dy2) - moon.radius, halo);
      for (int c = 0; c < 3; ++c)
        out[3 * x + c] = ClampToByte((1.0f - weight) * tint[c] + weight * kMoonColour[c]);
    }
  });
}

CF_Moon::CF_Moon() { SetClassName(kClassName); }

void CF_Moon::Process() {
  if (source_.empty() || output_.empty()) return;
  cv::Mat scratch;
  MoonKernel(SourceAtOutputSize(scratch), output_, Var(0, 0.0f), AbortFlag());
}

}  // namespace grinsnap
