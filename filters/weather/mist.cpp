// Misted glass with droplets.
//
// The photo is seen through a cold window pane: where the glass is fogged,
// the light is scattered, so the photo shows blurred and veiled in white;
// where water has gathered into droplets, each droplet is a small lens that
// shows the scene behind it sharp, displaced and, for the larger ones,
// upside down, with a dark rim where its sides are steep and a bright glint
// where it faces the light.
//
// - The droplets: a height field of the output's size from the noise field
//   generator (entry 0 cells across, the aspect ratio's share down). The
//   heights above 0.75 are water; the field's per-pixel differences scaled
//   by 200 (on a picture 600 pixels on its shorter side, so that a preview
//   and a full-size render show the same droplets) are the water's slopes.
// - Inside a droplet, the view ray (0, 0, -1) is refracted through the
//   surface normal (-slope x, -slope y, 1) with ratio 0.75 and meets the
//   photo a little behind the glass; the photo is read there, sharp. The
//   droplet is lit from the upper left: a diffuse term, a specular glint,
//   and a rim darkened as the normal turns away from the viewer (less light
//   passes straight through a steep surface).
// - Outside, the fog: the photo blurred (downsized to about a hundred
//   pixels on its shorter side, blurred there, mixed with a pale grey veil
//   and enlarged again, which costs the same at every size).
// - The droplet's edge is smoothed over about a pixel, from the height's
//   distance above the droplet level divided by its slope.
//
// Every pixel depends on its own values once the field is drawn, so rows
// run in parallel.
#include "filters/weather/mist.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include <opencv2/imgproc.hpp>

#include "core/sampler.h"
#include "filters/kernel_support.h"
#include "filters/warp/noise_field.h"
#include "filters/weather/water_surface.h"

namespace grinsnap {

namespace {

// The fog: how much of the veil colour covers the blurred photo.
constexpr float kVeil = 0.38f;
constexpr float kVeilColour = 220.0f;
// The blur works on the photo downsized to this many pixels on its shorter side.
constexpr int kFogSide = 96;
constexpr double kFogSigma = 1.6;
// The photo lies this far behind the glass, in shorter sides of the picture.
constexpr float kDepth = 0.025f;
// A droplet shows what lies at most this far from it (in shorter sides),
// and its dark outline is this wide.
constexpr float kFarthest = 0.035f;
constexpr float kOutline = 0.004f;

// The misted glass: the photo downsized (by a whole factor where it can,
// which is the quick case of area averaging), blurred, veiled and enlarged
// again.
void Fog(const cv::Mat& in, cv::Mat& fog) {
  const int shorter = std::min(in.cols, in.rows);
  const int factor = std::max(1, shorter / kFogSide);
  cv::Mat small;
  cv::resize(in, small, cv::Size(std::max(1, in.cols / factor), std::max(1, in.rows / factor)), 0, 0, cv::INTER_AREA);
  cv::GaussianBlur(small, small, cv::Size(0, 0), kFogSigma, kFogSigma, cv::BORDER_REFLECT);
  small.convertTo(small, CV_8UC3, 1.0 - kVeil, kVeil * kVeilColour);
  cv::resize(small, fog, in.size(), 0, 0, cv::INTER_LINEAR);
}

}  // namespace

bool MistKernel(const cv::Mat& src, cv::Mat& dst, float cells, CrtRandom& random, const std::atomic<bool>* cancel) {
  CV_Assert(src.type() == CV_8UC3);
  const cv::Mat in = Unaliased(src, dst);
  dst.create(in.size(), CV_8UC3);
  if (in.empty()) return true;
  const int width = in.cols, rows = in.rows;
  const float shorter = static_cast<float>(std::min(width, rows));
  const double across = std::isfinite(cells) ? std::clamp(static_cast<double>(cells), 0.0, 1.0e6) : 0.0;
  cv::Mat heights(in.size(), CV_32FC1);
  NoiseField(heights, across, across * rows / width, random);
  if (CancelRequested(cancel)) return false;
  cv::Mat fog;
  Fog(in, fog);

  const float slopeScale = kMistSlopeScale * shorter / kMistSlopeReference;
  const float depth = kDepth * shorter;
  const float farthest = kFarthest * shorter;
  const float outlineWidth = kOutline * shorter;
  // Towards the light, upper left and in front; the half vector with the
  // viewer (0, 0, 1) gives the glint.
  cv::Vec3f light(-0.45f, -0.55f, 1.0f);
  light /= std::sqrt(light.dot(light));
  cv::Vec3f half = light + cv::Vec3f(0, 0, 1);
  half /= std::sqrt(half.dot(half));
  const TypedSampler<std::uint8_t, 3, 3> sampler(in, SampleBorder::Clamp);
  const float c = kMistRefraction;
  return ParallelRows(rows, cancel, [&](int y) {
    const float* h = heights.ptr<float>(y);
    const float* above = heights.ptr<float>(std::max(y - 1, 0));
    const float* below = heights.ptr<float>(std::min(y + 1, rows - 1));
    const std::uint8_t* f = fog.ptr<std::uint8_t>(y);
    std::uint8_t* out = dst.ptr<std::uint8_t>(y);
    // Central differences, one-sided at the picture's edges.
    const int up = std::max(y - 1, 0), down = std::min(y + 1, rows - 1);
    const float acrossRows = 1.0f / static_cast<float>(std::max(down - up, 1));
    for (int x = 0; x < width; ++x, out += 3, f += 3) {

      const int left = std::max(x - 1, 0), right = std::min(x + 1, width - 1);
      const float gx = (h[right] - h[left]) * (right - left == 2 ? 0.5f : right > left ? 1.0f : 0.0f);
      const float gy = (below[x] - above[x]) * acrossRows;
      const float rise = h[x] - kMistDropletLevel;
      const float steep2 = gx * gx + gy * gy;
      // Coverage of the pixel by the droplet, over about one pixel of its
      // edge: none at all more than half a pixel outside it.
      if (rise <= 0.0f && 4.0f * rise * rise >= steep2) {
        out[0] = f[0], out[1] = f[1], out[2] = f[2];
        continue;
      }
      const float steep = std::sqrt(steep2);
      const float coverage = std::clamp(rise / std::max(steep, 1e-6f) + 0.5f, 0.0f, 1.0f);
      const float sx = slopeScale * gx, sy = slopeScale * gy;
      const float inverse = 1.0f / std::sqrt(sx * sx + sy * sy + 1.0f);
      const float nx = -sx * inverse, ny = -sy * inverse, nz = inverse;
      const float k = 1.0f - c * c * (1.0f - nz * nz);
      const float along = c * nz - std::sqrt(std::max(k, 0.0f));
      const float tx = along * nx, ty = along * ny, tz = -c + along * nz;
      // Where the refracted ray meets the photo, at most a droplet's size away.
      const float reach = depth / std::max(-tz, 0.05f);
      float ox = tx * reach, oy = ty * reach;
      const float offset = std::sqrt(ox * ox + oy * oy);
      if (offset > farthest) ox *= farthest / offset, oy *= farthest / offset;
      const cv::Vec3f seen = sampler.At(static_cast<float>(x) + 0.5f + ox, static_cast<float>(y) + 0.5f + oy, false);
      const float diffuse = std::max(0.0f, nx * light[0] + ny * light[1] + nz * light[2]);
      const float facing = std::max(0.0f, nx * half[0] + ny * half[1] + nz * half[2]);
      // Below 0.85 the hundredth power is under 1e-7: no glint to speak of.
      const float glint = facing > 0.85f ? 230.0f * static_cast<float>(Power100(facing)) : 0.0f;
      // Steep sides pass less light: the droplet darkens with the normal's
      // tilt, and most in a thin line along its edge.
      const float inside = rise / std::max(steep, 1e-6f);
      const float outline = 1.0f - 0.45f * std::exp(-inside / outlineWidth);
      const float gain = (0.75f + 0.25f * nz) * (0.9f + 0.25f * diffuse) * outline;
      for (int ch = 0; ch < 3; ++ch) {
        const float drop = seen[ch] * gain + glint;
        const float misted = static_cast<float>(f[ch]);
        out[ch] = ClampToByte(misted + coverage * (drop - misted));
      }
    }
  });
}

CF_Mist::CF_Mist() : CF_SimpleFilter(kClassName, kTraits) {}

bool CF_Mist::RunKernel(const cv::Mat& in, cv::Mat& out) {
  CrtRandom random(seed_);
  return MistKernel(in, out, Param(kCells), random, StopFlag());
}

}  // namespace grinsnap
