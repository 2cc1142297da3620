// Water: a reflection in a lake, or a pool seen from above.
//
// Reflection (type 0). The water begins at 0.6 of the height. Above it the
// photo stays as it is; below it each row shows the row as far above the
// waterline as it lies below, the mirror image a still lake would give.
// The lake is not still: two noise fields with cells stretched across the
// picture (ripples are long and thin seen at a low angle) move each read
// sideways and up or down, by an amount that grows towards the viewer,
// where the ripples are nearer. The mirror image darkens and takes on the
// water's own colour towards the viewer, as less light is reflected at a
// steeper angle, and the crests of the ripples that face the sky catch a
// little light. The waterline itself is softened over a few pixels.
//
// Pool (type 1). The photo lies at the bottom of clear water: two noise
// fields bend every read a little (the refraction through the moving
// surface), the picture takes the blue-green of the water, and caustics,
// the bright lines where the moving surface focuses the sunlight, play over
// it: the light a wavy surface (a third noise field) lets through onto a
// floor below it, 1 / |det(I + D Hessian)|, which draws the familiar
// network of bright lines.
//
// The noise fields are made at a size of at most 768 pixels on the shorter
// side and enlarged: they are smooth, so nothing is lost, and the cost stays
// the same at every size. They are drawn one after another in a fixed order;
// then every pixel depends on its own values and rows run in parallel.
#include "filters/weather/water.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include <opencv2/imgproc.hpp>

#include "core/sampler.h"
#include "core/xml_params.h"
#include "filters/kernel_support.h"
#include "filters/warp/noise_field.h"

namespace grinsnap {

namespace {

constexpr int kFieldSide = 768;

cv::Mat Field(cv::Size size, double cellsX, double cellsY, CrtRandom& random) {
  return NoiseFieldAtMost(size, kFieldSide, cellsX, cellsY, random);
}

// 0 on the picture's edge, rising to 1 a distance reach inside it.
float EdgeFade(int i, int size, float reach) {
  const float inside = static_cast<float>(std::min(i, size - 1 - i)) + 0.5f;
  return reach > 0.0f ? std::min(1.0f, inside / reach) : 1.0f;
}

// The deep water's colour, blue, green, red.
const float kLakeColour[3] = {78.0f, 62.0f, 34.0f};

bool Reflection(const cv::Mat& in, cv::Mat& dst, CrtRandom& random, const std::atomic<bool>* cancel) {
  const int width = in.cols, rows = in.rows;
  const int horizon = std::clamp(static_cast<int>(std::lround(kWaterHorizon * rows)), 1, rows);
  const int waterRows = rows - horizon;
  in.rowRange(0, horizon).copyTo(dst.rowRange(0, horizon));
  if (waterRows <= 0) return true;
  const cv::Size waterSize(width, waterRows);
  // Ripples: a few cells across, many down.
  const cv::Mat sideways = Field(waterSize, 3.0, 24.0, random);
  const cv::Mat upDown = Field(waterSize, 4.0, 30.0, random);
  if (CancelRequested(cancel)) return false;
  const float shorter = static_cast<float>(std::min(width, rows));
  const float reachX = 0.03f * shorter, reachY = 0.025f * shorter;
  const float soft = std::max(1.0f, 0.004f * shorter);
  const TypedSampler<std::uint8_t, 3, 3> sampler(in, SampleBorder::Clamp);
  return ParallelRows(waterRows, cancel, [&](int t) {
    const int y = horizon + t;
    // 0 at the waterline, 1 at the bottom of the picture.
    const float near = static_cast<float>(t) / static_cast<float>(std::max(waterRows - 1, 1));
    const float amount = 0.1f + 0.9f * near;
    // Perspective: the ripples crowd together towards the waterline, so
    // the noise rows are read at the square root of the way down.
    const int ripple = std::min(waterRows - 1, static_cast<int>(std::sqrt(near) * static_cast<float>(waterRows - 1)));
    const float* sx = sideways.ptr<float>(ripple);
    const float* sy = upDown.ptr<float>(ripple);
    const float* syNext = upDown.ptr<float>(std::min(ripple + 1, waterRows - 1));
    // Reflected brightness and the water's own colour.
    const float mirror = 0.82f - 0.3f * near;
    const float lake = 0.12f + 0.33f * near;
    // The waterline's blend with the shore above it.
    const float shore = std::clamp(1.0f - (static_cast<float>(t) + 0.5f) / soft, 0.0f, 1.0f);
    const std::uint8_t* land = in.ptr<std::uint8_t>(y);
    std::uint8_t* out = dst.ptr<std::uint8_t>(y);
    for (int x = 0; x < width; ++x, out += 3, land += 3) {
      const float mirrorRow = static_cast<float>(horizon - 1 - t) + 0.5f + reachY * amount * (sy[x] - 0.5f) * 2.0f;
      const float column =
          static_cast<float>(x) + 0.5f + reachX * amount * EdgeFade(x, width, reachX) * (sx[x] - 0.5f) * 2.0f;
      const cv::Vec3f seen = sampler.At(column, std::min(mirrorRow, static_cast<float>(horizon) - 0.5f), false);
      // Ripples whose near side faces up reflect the bright sky.
      const float tilt = (sy[x] - syNext[x]) * static_cast<float>(waterRows) * 0.02f;
      const float sky = std::clamp(tilt, 0.0f, 1.0f) * 60.0f * amount;
      for (int ch = 0; ch < 3; ++ch) {
        const float water = mirror * seen[ch] + lake * kLakeColour[ch] + sky;
        out[ch] = ClampToByte(water + shore * (static_cast<float>(land[ch]) - water));
      }
    }
  });
}

// The tint of the pool's water and the caustics' colour, blue, green, red.
const float kPoolTint[3] = {1.0f, 0.93f, 0.74f};
const float kPoolLift[3] = {22.0f, 16.0f, 2.0f};
const float kCausticColour[3] = {105.0f, 112.0f, 92.0f};

// The caustics of a surface whose height is a noise field: sunlight falling
// through it onto a floor at depth D is spread by the map p -> p + D grad h,
// so the floor's light is 1 / |det(I + D Hessian(h))|, bright without bound
// on the lines where the surface focuses it. D is set against the field's
// own curvature so that the lines form a network over the floor. Worked out
// on the field at most kCausticSide on its shorter side and enlarged.
constexpr int kCausticSide = 512;

cv::Mat Caustics(cv::Size size, double cellsX, double cellsY, CrtRandom& random) {
  const double shrink = std::min(1.0, static_cast<double>(kCausticSide) / std::min(size.width, size.height));
  const cv::Size small(std::max(3, static_cast<int>(std::lround(size.width * shrink))),
                       std::max(3, static_cast<int>(std::lround(size.height * shrink))));
  cv::Mat h(small, CV_32FC1);
  NoiseField(h, cellsX, cellsY, random);
  // The field's finest ripples (a fraction of a cell) would each draw a
  // caustic line of their own; only the waves' own curvature should.
  const double cell = small.width / std::max(cellsX, 1.0);
  cv::GaussianBlur(h, h, cv::Size(0, 0), 0.2 * cell, 0.2 * cell, cv::BORDER_REPLICATE);
  cv::Mat hxx, hyy, hxy;
  cv::Sobel(h, hxx, CV_32F, 2, 0, 3, 0.25, 0, cv::BORDER_REPLICATE);
  cv::Sobel(h, hyy, CV_32F, 0, 2, 3, 0.25, 0, cv::BORDER_REPLICATE);
  cv::Sobel(h, hxy, CV_32F, 1, 1, 3, 0.25, 0, cv::BORDER_REPLICATE);
  const double curvature = std::sqrt(cv::mean(hxx.mul(hxx) + hyy.mul(hyy))[0] / 2.0);
  const float depth = curvature > 0 ? static_cast<float>(1.35 / curvature) : 0.0f;
  cv::Mat light(small, CV_32FC1);
  for (int y = 0; y < small.height; ++y) {
    const float* a = hxx.ptr<float>(y);
    const float* b = hyy.ptr<float>(y);
    const float* c = hxy.ptr<float>(y);
    float* out = light.ptr<float>(y);
    for (int x = 0; x < small.width; ++x) {
      const float det = (1.0f + depth * a[x]) * (1.0f + depth * b[x]) - depth * depth * c[x] * c[x];
      // Light above the mean, held at a bright line's worth.
      out[x] = std::clamp((1.0f / std::max(std::fabs(det), 0.1f) - 1.0f) * 0.14f, 0.0f, 1.1f);
    }
  }
  if (small == size) return light;
  cv::Mat large;
  cv::resize(light, large, size, 0, 0, cv::INTER_LINEAR);
  return large;
}

bool Pool(const cv::Mat& in, cv::Mat& dst, CrtRandom& random, const std::atomic<bool>* cancel) {
  const int width = in.cols, rows = in.rows;
  const double shorter = std::min(width, rows);
  const double acrossWave = 5.0 * width / shorter, downWave = 5.0 * rows / shorter;
  const cv::Mat bendX = Field(in.size(), acrossWave, downWave, random);
  const cv::Mat bendY = Field(in.size(), acrossWave, downWave, random);
  const cv::Mat caustics = Caustics(in.size(), 10.0 * width / shorter, 10.0 * rows / shorter, random);
  if (CancelRequested(cancel)) return false;
  const float reach = 0.03f * static_cast<float>(shorter);
  const TypedSampler<std::uint8_t, 3, 3> sampler(in, SampleBorder::Clamp);
  return ParallelRows(rows, cancel, [&](int y) {
    const float* bx = bendX.ptr<float>(y);
    const float* by = bendY.ptr<float>(y);
    const float* light = caustics.ptr<float>(y);
    std::uint8_t* out = dst.ptr<std::uint8_t>(y);
    const float edgeY = EdgeFade(y, rows, reach);
    for (int x = 0; x < width; ++x, out += 3) {
      // The bends die out at the picture's edges, which would otherwise
      // repeat their last pixels.
      const float bend = reach * std::min(EdgeFade(x, width, reach), edgeY) * 2.0f;
      const cv::Vec3f seen = sampler.At(static_cast<float>(x) + 0.5f + bend * (bx[x] - 0.5f),
                                        static_cast<float>(y) + 0.5f + bend * (by[x] - 0.5f), false);
      for (int ch = 0; ch < 3; ++ch)
        out[ch] = ClampToByte(0.85f * kPoolTint[ch] * seen[ch] + kPoolLift[ch] + light[x] * kCausticColour[ch]);
    }
  });
}

}  // namespace

bool WaterKernel(const cv::Mat& src, cv::Mat& dst, WaterType type, CrtRandom& random,
                 const std::atomic<bool>* cancel) {
  CV_Assert(src.type() == CV_8UC3);
  const cv::Mat in = Unaliased(src, dst);
  dst.create(in.size(), CV_8UC3);
  if (in.empty()) return true;
  return type == WaterType::Pool ? Pool(in, dst, random, cancel) : Reflection(in, dst, random, cancel);
}

CF_Water::CF_Water() : CF_SimpleFilter(kClassName, kTraits) {}

int CF_Water::Load() {
  CF_SimpleFilter::Load();
  int type = 0;
  ReadAttribute(element_, "type", type);
  type_ = type == 1 ? WaterType::Pool : WaterType::Reflection;
  return 0;
}

bool CF_Water::RunKernel(const cv::Mat& in, cv::Mat& out) {
  CrtRandom random(seed_);
  return WaterKernel(in, out, type_, random, StopFlag());
}

}  // namespace grinsnap
