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
// seed), so a picture is the same every time; the template's point slides
// it across the picture, up to a quarter of the picture either way, as the
// shadows move. The noise is made at most 512 pixels on the shorter side of
// its canvas and read with bilinear interpolation, and every pixel depends
// on its own values: rows run in parallel.
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

constexpr int kFieldSide = 512;
constexpr std::uint32_t kPatternSeed = 4711;
// Blue, green, red factors in the shadow and in the sun.
constexpr float kShade[3] = {0.62f, 0.5f, 0.44f};
constexpr float kSun[3] = {0.98f, 1.03f, 1.08f};

// The pattern of leaves or clouds over a canvas half as large again as the
// picture in each direction, so that it can slide a quarter of the picture
// either way; made at most kFieldSide pixels on the canvas's shorter side
// and read with bilinear interpolation (it is smooth over many pixels).
struct Pattern {
  cv::Mat field;
  float scale = 1.0f;  // field pixels per canvas pixel
};

Pattern MakePattern(ShadowType type, cv::Size picture) {
  Pattern pattern;
  if (type == ShadowType::Blinds) return pattern;
  const cv::Size canvas(picture.width * 3 / 2 + 1, picture.height * 3 / 2 + 1);
  pattern.scale = std::min(1.0f, static_cast<float>(kFieldSide) / static_cast<float>(std::min(canvas.width, canvas.height)));
  const cv::Size small(std::max(2, static_cast<int>(std::lround(canvas.width * pattern.scale))),
                       std::max(2, static_cast<int>(std::lround(canvas.height * pattern.scale))));
  // Cells per picture as the look wants them; the canvas holds half as many again.
  const double shorter = std::min(picture.width, picture.height);
  const double wide = 1.5 * picture.width / shorter, tall = 1.5 * picture.height / shorter;
  CrtRandom random(kPatternSeed);
  cv::Mat& field = pattern.field;
  field.create(small, CV_32FC1);
  if (type == ShadowType::Clouds) {
    NoiseField(field, 3.5 * wide, 3.5 * tall, random);
    // A field of so few cells may wander from its middle value: it is
    // measured against its own spread, so that clouds cover about half the
    // picture whatever the draws.
    cv::Scalar mean, spread;
    cv::meanStdDev(field, mean, spread);
    field.convertTo(field, CV_32F, spread[0] > 0 ? 1.0 / spread[0] : 0.0, spread[0] > 0 ? -mean[0] / spread[0] : 0.0);
    return pattern;
  }
  cv::Mat leaves(small, CV_32FC1);
  NoiseField(field, 4.0 * wide, 5.0 * tall, random);
  NoiseField(leaves, 18.0 * wide, 26.0 * tall, random);
  cv::addWeighted(field, 0.6, leaves, 0.55, -0.075, field);
  return pattern;
}

// The field at canvas position (x, y), bilinear, clamped to its edges.
float FieldAt(const Pattern& pattern, float x, float y) {
  const cv::Mat& f = pattern.field;
  const float fx = std::clamp(x * pattern.scale - 0.5f, 0.0f, static_cast<float>(f.cols - 1));
  const float fy = std::clamp(y * pattern.scale - 0.5f, 0.0f, static_cast<float>(f.rows - 1));
  const int x0 = std::min(static_cast<int>(fx), f.cols - 2), y0 = std::min(static_cast<int>(fy), f.rows - 2);
  const float ax = fx - static_cast<float>(x0), ay = fy - static_cast<float>(y0);
  const float* r0 = f.ptr<float>(y0);
  const float* r1 = f.ptr<float>(y0 + 1);
  const float top = r0[x0] + ax * (r0[x0 + 1] - r0[x0]);
  const float bottom = r1[x0] + ax * (r1[x0 + 1] - r1[x0]);
  return top + ay * (bottom - top);
}

float Shadow(ShadowType type, const Pattern& pattern, float x, float y, float shorter) {
  if (type == ShadowType::Blinds) {
    const float u = x / shorter, v = y / shorter;
    // Slats slanting down to the right, spreading apart to the right.
    const float angle = 25.0f * std::numbers::pi_v<float> / 180.0f;
    const float across = v * std::cos(angle) - u * std::sin(angle);
    const float spread = 1.0f + 0.45f * std::max(u, -1.0f);
    const float phase = across / (0.085f * spread);
    const float f = phase - std::floor(phase);
    const float soft = std::max(0.01f, 0.04f + 0.08f * u);
    // The light passes through the gap around the middle of each period,
    // 45 % of it; the slats' shadows fill the rest.
    return SmoothStep(0.225f - soft, 0.225f + soft, std::fabs(f - 0.5f));
  }
  const float n = FieldAt(pattern, x, y);
  if (type == ShadowType::Clouds) return 0.8f * SmoothStep(-0.5f, 0.4f, n);
  return SmoothStep(0.42f, 0.56f, n);
}

// Where pixel (x, y) of a picture of size lies on the canvas for a shift
// (fractions of the picture).
cv::Point2f CanvasPosition(cv::Point2f shift, int x, int y, cv::Size size) {
  const float w = static_cast<float>(size.width), h = static_cast<float>(size.height);
  // The shift is held within a quarter of the picture either way.
  const float sx = std::isfinite(shift.x) ? std::clamp(shift.x, -0.25f, 0.25f) : 0.0f;
  const float sy = std::isfinite(shift.y) ? std::clamp(shift.y, -0.25f, 0.25f) : 0.0f;
  return {static_cast<float>(x) + 0.5f + (0.25f - sx) * w, static_cast<float>(y) + 0.5f + (0.25f - sy) * h};
}

}  // namespace

bool MovingShadowKernel(const cv::Mat& src, cv::Mat& dst, ShadowType type, cv::Point2f shift,
                        const std::atomic<bool>* cancel) {
  CV_Assert(src.type() == CV_8UC3);
  const cv::Mat in = Unaliased(src, dst);
  dst.create(in.size(), CV_8UC3);
  if (in.empty()) return true;
  const Pattern pattern = MakePattern(type, in.size());
  const int width = in.cols;
  const float shorter = static_cast<float>(std::min(in.cols, in.rows));
  return ParallelRows(in.rows, cancel, [&](int y) {
    const std::uint8_t* p = in.ptr<std::uint8_t>(y);
    std::uint8_t* out = dst.ptr<std::uint8_t>(y);
    const cv::Point2f start = CanvasPosition(shift, 0, y, in.size());
    for (int x = 0; x < width; ++x, p += 3, out += 3) {
      const float s = Shadow(type, pattern, start.x + static_cast<float>(x), start.y, shorter);
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

bool CF_MovingShadow::RunKernel(const cv::Mat& in, cv::Mat& out) {
  // The template's point moves the shadows: at the middle (the default)
  // they fall as drawn.
  const cv::Point2f shift(Var(7, 0.5f) - 0.5f, Var(8, 0.5f) - 0.5f);
  return MovingShadowKernel(in, out, type_, shift, StopFlag());
}

}  // namespace grinsnap
