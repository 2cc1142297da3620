// Moving shadows: the shadow of something between the sun and the scene
// falling over the photo, caught as it drifts across.
//
// - Leaves: sunlight through foliage. Two noise fields, one of leaf clusters
//   and one of single leaves, are added; where the sum is high the leaves
//   block the sun. The shadow's edge is soft (the sun is a disc, not a
//   point), and the gaps are stretched along a slant as the light falls
//   obliquely.
// - Blinds: the slats of a venetian blind, slanting at 25 degrees and
//   spreading apart towards the right as the light from a window does; the
//   edges soften further from the window, where the penumbra is wider.
// - Clouds: broad soft patches from a field of a few cells, about half of
//   the picture in their shade.
//
// Where the shadow falls the photo takes the blue of the open sky that
// still lights it and loses most of its light; where the sun reaches it
// warms a little. The pattern is fixed (its noise is drawn from a fixed
// seed), so a picture is the same every time. The noise is made at most
// 768 pixels on the shorter side and enlarged, and every pixel depends on
// its own values: rows run in parallel.
#include "filters/weather/moving_shadow.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

#include "core/xml_params.h"
#include "filters/kernel_support.h"
#include "filters/warp/noise_field.h"
#include "platform/crt_random.h"

namespace grinsnap {

namespace {

constexpr int kFieldSide = 768;
constexpr std::uint32_t kPatternSeed = 4711;
// Blue, green, red factors in the shadow and in the sun.
constexpr float kShade[3] = {0.62f, 0.5f, 0.44f};
constexpr float kSun[3] = {0.98f, 1.03f, 1.08f};

float SmoothStep(float e0, float e1, float v) {
  const float t = std::clamp((v - e0) / (e1 - e0), 0.0f, 1.0f);
  return t * t * (3.0f - 2.0f * t);
}

cv::Mat Pattern(ShadowType type, cv::Size size) {
  CrtRandom random(kPatternSeed);
  const double shorter = std::min(size.width, size.height);
  const double wide = size.width / shorter, tall = size.height / shorter;
  if (type == ShadowType::Blinds) return cv::Mat();
  if (type == ShadowType::Clouds) {
    // A field of so few cells may wander from its middle value: it is
    // measured against its own spread, so that clouds cover about half the
    // picture whatever the draws.
    cv::Mat clouds = NoiseFieldAtMost(size, kFieldSide, 2.5 * wide, 2.5 * tall, random);
    cv::Scalar mean, spread;
    cv::meanStdDev(clouds, mean, spread);
    clouds.convertTo(clouds, CV_32F, spread[0] > 0 ? 1.0 / spread[0] : 0.0, spread[0] > 0 ? -mean[0] / spread[0] : 0.0);
    return clouds;
  }
  cv::Mat clusters = NoiseFieldAtMost(size, kFieldSide, 4.0 * wide, 5.0 * tall, random);
  const cv::Mat leaves = NoiseFieldAtMost(size, kFieldSide, 18.0 * wide, 26.0 * tall, random);
  cv::addWeighted(clusters, 0.6, leaves, 0.55, -0.075, clusters);
  return clusters;
}

}  // namespace

float ShadowAt(ShadowType type, const cv::Mat& field, int x, int y, cv::Size size) {
  if (type == ShadowType::Blinds) {
    const float shorter = static_cast<float>(std::min(size.width, size.height));
    const float u = (static_cast<float>(x) + 0.5f) / shorter, v = (static_cast<float>(y) + 0.5f) / shorter;
    // Slats slanting down to the right, spreading apart to the right.
    const float angle = 25.0f * std::numbers::pi_v<float> / 180.0f;
    const float across = v * std::cos(angle) - u * std::sin(angle);
    const float spread = 1.0f + 0.45f * u;
    const float phase = across / (0.085f * spread);
    const float f = phase - std::floor(phase);
    const float soft = 0.04f + 0.08f * u;
    // The light passes through the gap around the middle of each period,
    // 45 % of it; the slats' shadows fill the rest.
    return SmoothStep(0.225f - soft, 0.225f + soft, std::fabs(f - 0.5f));
  }
  const float n = field.ptr<float>(y)[x];
  if (type == ShadowType::Clouds) return 0.8f * SmoothStep(-0.3f, 0.5f, n);
  return SmoothStep(0.42f, 0.56f, n);
}

bool MovingShadowKernel(const cv::Mat& src, cv::Mat& dst, ShadowType type, const std::atomic<bool>* cancel) {
  CV_Assert(src.type() == CV_8UC3);
  const cv::Mat in = Unaliased(src, dst);
  dst.create(in.size(), CV_8UC3);
  if (in.empty()) return true;
  const cv::Mat field = Pattern(type, in.size());
  const int width = in.cols;
  return ParallelRows(in.rows, cancel, [&](int y) {
    const std::uint8_t* p = in.ptr<std::uint8_t>(y);
    std::uint8_t* out = dst.ptr<std::uint8_t>(y);
    for (int x = 0; x < width; ++x, p += 3, out += 3) {
      const float s = ShadowAt(type, field, x, y, in.size());
      for (int c = 0; c < 3; ++c) out[c] = ClampToByte(static_cast<float>(p[c]) * (kSun[c] + s * (kShade[c] - kSun[c])) + 0.5f);
    }
  });
}

CF_MovingShadow::CF_MovingShadow() : CF_SimpleFilter(kClassName, kTraits) {}

int CF_MovingShadow::Load() {
  CF_SimpleFilter::Load();
  int type = 0;
  ReadAttribute(element_, "type", type);
  type_ = type == 1 ? ShadowType::Blinds : type == 2 ? ShadowType::Clouds : ShadowType::Leaves;
  return 0;
}

bool CF_MovingShadow::RunKernel(const cv::Mat& in, cv::Mat& out) { return MovingShadowKernel(in, out, type_, StopFlag()); }

}  // namespace grinsnap
