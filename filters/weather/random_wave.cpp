// Random waves: the photo seen through a moving water surface.
//
// Every type makes a height map and hands it to the water surface shader
// (water_surface.h), so the three differ only in the shape of the water:
//
// - Type 1, random water: the noise field with W / entry 0 by H / entry 1
//   cells is the height map; the normals take the vertical component
//   4 / min(entry 0, entry 1) against the per-pixel differences, the light
//   comes from (0.2, 0.2, 1) with a glint of 70 (n . L)^100, and the
//   refraction ratio is entry 2. The entries are cells in pixels.
// - Type 0, raindrops: rings spreading from drops that fell at random
//   places and times. Each drop is three draws (x, y, how far its front has
//   travelled, up to ten wavelengths); behind the front the surface swings
//   as a sine of wavelength 0.75 entry 0, dying away over two and a half
//   wavelengths (and cut off after three times that) and weaker the further
//   the front has gone. One drop falls per entry 1 squared x 100 pixels.
// - Type 2, swell: long waves running across the picture, 1.5 entry 1
//   apart, their crests bent by a noise field whose cells are four times
//   entry 0 wide and two wavelengths tall.
//
// Types 0 and 2 measure their entries in pixels of a picture 600 pixels on
// its shorter side, so that a preview and a full-size render show the same
// water; type 1 keeps its cells in pixels of the picture itself. All random
// numbers are drawn before any pixel is shaded, in a fixed order, so rows
// then run in parallel without changing the picture.
#include "filters/weather/random_wave.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "core/xml_params.h"
#include "filters/kernel_support.h"
#include "filters/warp/noise_field.h"
#include "filters/weather/water_surface.h"

namespace grinsnap {

namespace {

constexpr float kTwoPi = 2.0f * std::numbers::pi_v<float>;
// Types 0 and 2 are drawn as on a picture this many pixels on its shorter side.
constexpr float kReferenceSide = 600.0f;
// The most drops a picture takes; past this the rings are a blur.
constexpr int kMostDrops = 20000;

// A cell size from a block entry: at least a pixel, and never so large that
// a product of two overflows (NaN reads as the smallest).
float CellSize(float v) { return v >= 1.0f ? std::min(v, 1.0e5f) : 1.0f; }

struct Drop {
  float x, y, front, amplitude;
};

bool RaindropHeights(cv::Mat& heights, float wavelength, float spacing, CrtRandom& random,
                     const std::atomic<bool>* cancel) {
  const int width = heights.cols, rows = heights.rows;
  const double area = static_cast<double>(width) * rows;
  const int count = static_cast<int>(std::clamp(std::round(area / (spacing * spacing * 100.0)), 1.0,
                                                static_cast<double>(kMostDrops)));
  // How far the oldest fronts have gone, and how long a wake they leave.
  const float farthest = 10.0f * wavelength;
  const float wake = 2.5f * wavelength;
  std::vector<Drop> drops(static_cast<std::size_t>(count));
  for (Drop& d : drops) {
    d.x = random.NextUnit() * static_cast<float>(width);
    d.y = random.NextUnit() * static_cast<float>(rows);
    d.front = (0.25f + 0.75f * random.NextUnit()) * farthest;
    // The ring's energy spreads over a longer circle as it grows.
    d.amplitude = 0.3f * std::sqrt(2.0f * wavelength / d.front);
  }
  // The wake's shape behind a front, sin(k b) e^(-b / wake) for b up to
  // three wakes (5 % is left there), tabulated every quarter pixel and read
  // back with linear interpolation.
  const float k = kTwoPi / wavelength;
  const float reachBehind = 3.0f * wake;
  constexpr float kSteps = 4.0f;
  const int entries = static_cast<int>(reachBehind * kSteps) + 2;
  std::vector<float> wakeShape(static_cast<std::size_t>(entries));
  for (int i = 0; i < entries; ++i) {
    const float b = static_cast<float>(i) / kSteps;
    wakeShape[i] = b <= reachBehind ? std::sin(k * b) * std::exp(-b / wake) : 0.0f;
  }
  return ParallelRows(rows, cancel, [&](int y) {
    float* h = heights.ptr<float>(y);
    std::fill(h, h + width, 0.5f);
    const float py = static_cast<float>(y) + 0.5f;
    for (const Drop& d : drops) {
      const float dy = py - d.y;
      if (std::fabs(dy) > d.front) continue;
      // The row crosses the ring between the front and the inner edge of
      // its wake: one span, or two where the row passes the calm middle.
      const float inner = std::max(0.0f, d.front - reachBehind);
      const float outerHalf = std::sqrt(d.front * d.front - dy * dy);
      const float innerHalf = std::fabs(dy) < inner ? std::sqrt(inner * inner - dy * dy) : -1.0f;
      auto span = [&](float from, float to) {
        const int x0 = std::max(0, static_cast<int>(std::floor(from)));
        const int x1 = std::min(width - 1, static_cast<int>(std::ceil(to)));
        for (int x = x0; x <= x1; ++x) {
          const float dx = static_cast<float>(x) + 0.5f - d.x;
          const float behind = d.front - std::sqrt(dx * dx + dy * dy);
          if (behind <= 0.0f || behind >= reachBehind) continue;
          const float at = behind * kSteps;
          const int i = static_cast<int>(at);
          h[x] += d.amplitude * (wakeShape[i] + (at - static_cast<float>(i)) * (wakeShape[i + 1] - wakeShape[i]));
        }
      };
      if (innerHalf < 0.0f) {
        span(d.x - outerHalf, d.x + outerHalf);
      } else {
        span(d.x - outerHalf, d.x - innerHalf);
        span(d.x + innerHalf, d.x + outerHalf);
      }
    }
  });
}

bool SwellHeights(cv::Mat& heights, float crossLength, float spacing, CrtRandom& random,
                  const std::atomic<bool>* cancel) {
  const int width = heights.cols, rows = heights.rows;
  // The bend is smooth over many pixels: made at most 768 pixels on the
  // shorter side and enlarged.
  const cv::Mat bend = NoiseFieldAtMost(heights.size(), 768, width / (4.0 * crossLength), rows / (2.0 * spacing), random);
  if (CancelRequested(cancel)) return false;
  const float k = kTwoPi / spacing;
  return ParallelRows(rows, cancel, [&](int y) {
    const float* b = bend.ptr<float>(y);
    float* h = heights.ptr<float>(y);
    for (int x = 0; x < width; ++x) h[x] = 0.5f + 0.3f * std::sin(k * static_cast<float>(y) + 2.0f * kTwoPi * b[x]);
  });
}

}  // namespace

bool RandomWaveHeights(cv::Size size, const RandomWaveParams& params, CrtRandom& random, cv::Mat& heights,
                       const std::atomic<bool>* cancel) {
  heights.create(size, CV_32FC1);
  if (heights.empty()) return true;
  const float cellX = CellSize(params.cellX), cellY = CellSize(params.cellY);
  const float scale = static_cast<float>(std::min(size.width, size.height)) / kReferenceSide;
  switch (params.type) {
    case RandomWaveType::Water:
      NoiseField(heights, size.width / static_cast<double>(cellX), size.height / static_cast<double>(cellY), random);
      return !CancelRequested(cancel);
    case RandomWaveType::Raindrops:
      return RaindropHeights(heights, std::max(cellX * scale * 0.75f, 1.0f), std::max(cellY * scale, 1.0f), random,
                             cancel);
    case RandomWaveType::Swell:
      return SwellHeights(heights, std::max(cellX * scale, 1.0f), std::max(1.5f * cellY * scale, 1.0f), random, cancel);
  }
  return true;
}

bool RandomWaveKernel(const cv::Mat& src, cv::Mat& dst, const RandomWaveParams& params, CrtRandom& random,
                      const std::atomic<bool>* cancel) {
  CV_Assert(src.type() == CV_8UC3);
  const cv::Mat in = Unaliased(src, dst);
  dst.create(in.size(), CV_8UC3);
  if (in.empty()) return true;
  cv::Mat heights;
  if (!RandomWaveHeights(in.size(), params, random, heights, cancel)) return false;
  const float cellX = CellSize(params.cellX), cellY = CellSize(params.cellY);
  const float smaller = std::min(cellX, cellY);
  // The vertical component of the normal against per-pixel differences;
  // for the scaled types the pixels of the reference picture.
  const float scale = params.type == RandomWaveType::Water
                          ? 1.0f
                          : static_cast<float>(std::min(in.cols, in.rows)) / kReferenceSide;
  WaterSurfaceLight light;
  light.vertical = 4.0f / (smaller * scale);
  light.refraction = std::isfinite(params.refraction) ? std::clamp(params.refraction, 0.0f, 4.0f) : 0.0f;
  // The photo lies deep enough below the surface for its reads to move by
  // about a third of a cell.
  const float depth = params.type == RandomWaveType::Water ? 14.0f : params.type == RandomWaveType::Raindrops ? 10.0f : 6.0f;
  light.depth = depth * smaller * scale;
  light.light = {0.2f, 0.2f, 1.0f};
  light.glint = 70.0f;
  return ShadeWaterSurface(in, heights, dst, light, cancel);
}

CF_RandomWave::CF_RandomWave() : CF_SimpleFilter(kClassName, kTraits) {}

int CF_RandomWave::Load() {
  CF_SimpleFilter::Load();
  type_ = 0;
  ReadAttribute(element_, "type", type_);
  return 0;
}

bool CF_RandomWave::RunKernel(const cv::Mat& in, cv::Mat& out) {
  // A type this filter does not know draws nothing: the output stays black.
  if (type_ < 0 || type_ > 2) return true;
  CrtRandom random(seed_);
  RandomWaveParams params;
  params.type = static_cast<RandomWaveType>(type_);
  params.cellX = Param(kCellX);
  params.cellY = Param(kCellY);
  params.refraction = Param(kRefraction);
  return RandomWaveKernel(in, out, params, random, StopFlag());
}

}  // namespace grinsnap
