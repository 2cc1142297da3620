#include "filters/tone/sunny.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

#include <opencv2/core/utility.hpp>

#include "core/sampler.h"
#include "filters/colour_circle.h"
#include "filters/tone/tone_support.h"

namespace grinsnap {
namespace {

constexpr float kPi = std::numbers::pi_v<float>;
constexpr float kTwoPi = 2.0f * kPi;

// Beams are this wide on either side of their angle.
constexpr float kBeamHalfWidth = kPi / 160.0f;
// Beam angles and the flare angle jitter by up to this much.
constexpr float kAngleJitter = kPi / 20.0f;
// Within this fraction of R around the sun the picture is pure white.
constexpr float kCoreRadius = 0.02f;
// Half-width of one rainbow ring, as a fraction of R.
constexpr float kRingHalfWidth = 0.02f;
// Flare spot colour, blue, green, red.
const cv::Vec3f kSpotColour(200.0f, 225.0f, 250.0f);

// The unjittered angle of the first beam; the flare row starts from it too.
inline float FirstBeamAngle(float c) { return (0.55f * c + 0.225f) * kPi; }
inline float SecondBeamAngle(float c) { return (0.45f * c + 0.275f) * kPi; }

inline float SignedUnit(CrtRandom& random) { return 2.0f * random.NextUnit() - 1.0f; }

// Reads a one-row table of N channels at the fraction t of its length. The
// image sampler reads such a row at y = -0.5, half way between row -1 and
// row 0, which are the same row both when clamped and when tiled; the
// triangle rule then reduces to linear interpolation along the row. The
// arithmetic below is the sampler's own, term for term (including the terms
// that vanish), so that both give the same bits.
template <int N>
inline void LookUpRow(const float* row, int length, float t, bool wrap, float* out) {
  float x = t * static_cast<float>(length) - 0.5f;
  constexpr float kFar = 1.0e9f;
  if (!(std::fabs(x) < kFar)) x = x < 0 ? -kFar : kFar;
  const float xf = std::floor(x);
  const int x0 = static_cast<int>(xf);
  const float fx = x - xf;
  int i0, i1;
  if (wrap) {
    i0 = WrapCoordinate(x0, length);
    i1 = WrapCoordinate(x0 + 1, length);
  } else {
    i0 = std::clamp(x0, 0, length - 1);
    i1 = std::clamp(x0 + 1, 0, length - 1);
  }
  constexpr float fy = 0.5f;
  const float* left = row + static_cast<std::ptrdiff_t>(i0) * N;
  const float* right = row + static_cast<std::ptrdiff_t>(i1) * N;
  if (fx + fy <= 1.0f) {
    for (int c = 0; c < N; ++c) out[c] = left[c] + fx * (right[c] - left[c]) + fy * (left[c] - left[c]);
  } else {
    for (int c = 0; c < N; ++c)
      out[c] = right[c] + (1.0f - fy) * (right[c] - right[c]) + (1.0f - fx) * (left[c] - right[c]);
  }
}

inline float LookUp1(const cv::Mat& row, float t, bool wrap) {
  float value;
  LookUpRow<1>(row.ptr<float>(0), row.cols, t, wrap, &value);
  return value;
}

}  // namespace

SunnyTables MakeSunnyTables(CrtRandom& random, float c) {
  SunnyTables tables;

  tables.ringRadius[0] = 0.3f;
  for (int i = 1; i < SunnyTables::kRings; ++i)
    tables.ringRadius[i] = tables.ringRadius[i - 1] + 0.18f + 0.02f * SignedUnit(random);

  tables.spotDistance[0] = 0.2f;
  for (int i = 1; i < SunnyTables::kSpots; ++i)
    tables.spotDistance[i] = tables.spotDistance[i - 1] + 1.0f / 15.0f + 0.03f * SignedUnit(random);

  // The first three spots are always small; later ones are large one time in
  // three. The choice is drawn before the size.
  for (int i = 0; i < SunnyTables::kSpots; ++i) {
    const bool small = i < 3 || random.Next() % 3 != 0;
    tables.spotSize[i] = small ? 0.02f + 0.01f * random.NextUnit() : 0.06f + 0.02f * random.NextUnit();
  }

  tables.beam1 = FirstBeamAngle(c);
  tables.beam2 = SecondBeamAngle(c);
  tables.beam1 += kAngleJitter * SignedUnit(random);
  tables.beam2 += kAngleJitter * SignedUnit(random);

  tables.noise1.create(1, SunnyTables::kNoise1Length, CV_32F);
  for (int i = 0; i < SunnyTables::kNoise1Length; ++i) tables.noise1.ptr<float>(0)[i] = SignedUnit(random);
  tables.noise2.create(1, SunnyTables::kNoise2Length, CV_32F);
  for (int i = 0; i < SunnyTables::kNoise2Length; ++i) tables.noise2.ptr<float>(0)[i] = SignedUnit(random);

  tables.colours = ColourCircleRow(SunnyTables::kColourLength);

  // Raised-cosine bumps of height 0.2 around each ring radius; overlapping
  // bumps keep the larger value.
  tables.rings.create(1, SunnyTables::kRingLength, CV_32F);
  float* ring = tables.rings.ptr<float>(0);
  for (int j = 0; j < SunnyTables::kRingLength; ++j) {
    const float f = static_cast<float>(j) / static_cast<float>(SunnyTables::kRingLength);
    float best = 0.0f;
    for (float r : tables.ringRadius) {
      if (r - kRingHalfWidth < f && f < r + kRingHalfWidth)
        best = std::max(best, 0.2f * (std::cos(kPi * (f - r) / kRingHalfWidth) + 1.0f) / 2.0f);
    }
    ring[j] = best;
  }
  // The far end of the profile is clamped onto every distance beyond it, so
  // it must be dark.
  ring[SunnyTables::kRingLength - 1] = 0.0f;
  return tables;
}

cv::Vec3f SampleTableRow(const cv::Mat& row, float t, SampleBorder border) {
  cv::Vec3f result(0.0f, 0.0f, 0.0f);
  if (row.empty() || row.rows != 1 || row.depth() != CV_32F || row.channels() > 3) return result;
  const bool wrap = border == SampleBorder::Tile;
  if (row.channels() == 1) LookUpRow<1>(row.ptr<float>(0), row.cols, t, wrap, &result[0]);
  if (row.channels() == 2) LookUpRow<2>(row.ptr<float>(0), row.cols, t, wrap, &result[0]);
  if (row.channels() == 3) LookUpRow<3>(row.ptr<float>(0), row.cols, t, wrap, &result[0]);
  return result;
}

bool SunnyGlowKernel(const cv::Mat& src, cv::Mat& dst, float c, float k, const SunnyTables& tables,
                     const std::atomic<bool>* cancel) {
  if (src.empty()) return true;
  CV_Assert(src.type() == CV_8UC3);
  dst.create(src.size(), CV_8UC3);

  const int width = src.cols;
  const int height = src.rows;
  const float scale = static_cast<float>(std::min(width, height)) * k;
  const float sunX = c * static_cast<float>(width);
  const float sunY = 0.0f;
  const float core = kCoreRadius * scale;
  const float glowMin = 0.6f * scale;
  const float* colourRow = tables.colours.ptr<float>(0);

  // Parallel over rows: every draw happened in the tables, each pixel reads
  // only src and the tables, so the split cannot change the picture. An
  // abort stops new rows; those done so far stay.
  return ParallelRows(height, cancel, [&](int y) {
    const float dy = static_cast<float>(y) - sunY;
    const std::uint8_t* in = src.ptr<std::uint8_t>(y);
    std::uint8_t* out = dst.ptr<std::uint8_t>(y);
    for (int x = 0; x < width; ++x, in += 3, out += 3) {
      const float dx = static_cast<float>(x) - sunX;
      const float d = std::sqrt(dx * dx + dy * dy);
      float theta = 0.0f;
      if (d != 0.0f) {
        // Rounding can push the cosine a hair past 1.
        theta = std::acos(std::clamp(dx / d, -1.0f, 1.0f));
        if (dy < 0.0f) theta = kTwoPi - theta;
      }
      const float e = theta / kTwoPi;

      const float h = LookUp1(tables.noise1, e, true);
      float glow = 0.65f * scale + 0.05f * scale * std::cos(40.0f * theta) + 0.12f * scale * h;
      if (glow < glowMin) glow = glowMin;

      float ring = 0.0f;
      float ringColour[3] = {0.0f, 0.0f, 0.0f};
      float w;
      if (d < core) {
        w = 1.0f;
      } else {
        const float q = (d - core) / glow;
        w = std::exp(-(q * q));
        if (std::fabs(theta - tables.beam1) < kBeamHalfWidth ||
            std::fabs(theta - tables.beam2) < kBeamHalfWidth) {
          const double z = d / scale + 0.002 * LookUp1(tables.noise2, e, true);
          ring = (h + 1.0f) / 2.0f * LookUp1(tables.rings, static_cast<float>(0.7 * z), false);
          LookUpRow<3>(colourRow, tables.colours.cols, static_cast<float>(z / 0.02), true, ringColour);
        }
      }
      if (w + ring > 1.0f) w = 1.0f - ring;
      const float keep = 1.0f - w - ring;
      const float white = 255.0f * w;
      for (int ch = 0; ch < 3; ++ch)
        out[ch] = ClampToByte(keep * static_cast<float>(in[ch]) + ring * ringColour[ch] + white);
    }
  });
}

namespace {

// trunc(v) clamped to 0 .. limit; NaN gives 0.
inline int ClampedBound(float v, int limit) {
  if (!(v > 0.0f)) return 0;
  if (v >= static_cast<float>(limit)) return limit;
  return static_cast<int>(v);
}

}  // namespace

void DrawSunnySpot(cv::Mat& img, float px, float py, float radius, const cv::Vec3f& bgr) {
  if (img.empty()) return;
  CV_Assert(img.type() == CV_8UC3);
  const int x0 = ClampedBound(px - radius, img.cols);
  const int x1 = ClampedBound(px + radius, img.cols);
  const int y0 = ClampedBound(py - radius, img.rows);
  const int y1 = ClampedBound(py + radius, img.rows);
  const float inner = 0.9f * radius;
  const float rim = 0.1f * radius;
  for (int y = y0; y < y1; ++y) {
    std::uint8_t* p = img.ptr<std::uint8_t>(y) + static_cast<std::ptrdiff_t>(x0) * 3;
    const float dy = static_cast<float>(y) - py;
    for (int x = x0; x < x1; ++x, p += 3) {
      const float dx = static_cast<float>(x) - px;
      const float delta = std::sqrt(dx * dx + dy * dy);
      // A faint disc growing towards its edge, then a brighter rim.
      float q;
      if (delta < inner) {
        const float f = delta / inner;
        q = 0.1f + 0.1f * (f * f);
      } else if (delta < radius) {
        q = 0.2f + 0.1f * std::sin(kPi * (delta - inner) / rim);
      } else {
        continue;
      }
      for (int ch = 0; ch < 3; ++ch)
        p[ch] = ClampToByte(q * bgr[ch] + (1.0f - q) * static_cast<float>(p[ch]));
    }
  }
}

float DrawSunnyFlareAngle(CrtRandom& random, float c) {
  return FirstBeamAngle(c) + kAngleJitter * SignedUnit(random);
}

bool DrawSunnySpots(cv::Mat& img, float c, float k, const SunnyTables& tables, float beta,
                    const std::atomic<bool>* cancel) {
  if (img.empty()) return true;
  const float scale = static_cast<float>(std::min(img.cols, img.rows)) * k;
  const float sunX = c * static_cast<float>(img.cols);
  const float sunY = 0.0f;
  const float cosBeta = std::cos(beta);
  const float sinBeta = std::sin(beta);
  // Sequential: spots overlap and each blends over the ones before it.
  for (int i = 0; i < SunnyTables::kSpots; ++i) {
    const float distance = scale * tables.spotDistance[i];
    DrawSunnySpot(img, sunX + distance * cosBeta, sunY + distance * sinBeta,
                  scale * tables.spotSize[i] * tables.spotDistance[i], kSpotColour);
    if (CancelRequested(cancel)) return false;
  }
  return true;
}

bool SunnyKernel(const cv::Mat& src, cv::Mat& dst, float c, float k, CrtRandom& random,
                 const std::atomic<bool>* cancel) {
  if (src.empty()) return true;
  const SunnyTables tables = MakeSunnyTables(random, c);
  if (!SunnyGlowKernel(src, dst, c, k, tables, cancel)) return false;
  // Drawn after the tables: the flare angle is the generator's next number.
  const float beta = DrawSunnyFlareAngle(random, c);
  return DrawSunnySpots(dst, c, k, tables, beta, cancel);
}

CF_Sunny::CF_Sunny() : CF_SimpleFilter(kClassName, kTraits) {}

bool CF_Sunny::RunKernel(const cv::Mat& in, cv::Mat& out) {
  CrtRandom random(seed_);
  return SunnyKernel(in, out, Param(kPosition), Param(kScale), random, StopFlag());
}

}  // namespace grinsnap
