// The cartoon's hue smoothing is this program's own design: the hue plane,
// as 8-bit levels of a full turn, goes through the wash of the second
// watercolour (a median of aperture 11, then five passes of a 3 x 3 sigma
// filter of range 20 levels, 28 degrees). Neither averages across a step,
// so a hue near 0 and one near a full turn (both bluish) never blend into
// the opposite hue, and the noisy hues of near-grey pixels are evened out
// before the staircase snaps them. The snapped hue is taken from the middle
// of its level, 1/256 of a turn wide, which the staircase's flat steps make
// invisible.
#include "filters/drawing/cartoon.h"

#include <cmath>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "filters/drawing/water_paint.h"
#include "filters/kernel_support.h"

namespace grinsnap {
namespace {

constexpr float kPi = static_cast<float>(CV_PI);
constexpr float kTwoPi = 2.0f * kPi;
constexpr int kChromaBox = 21;
// The hue is smoothed as 8-bit levels, 256 to the turn.
constexpr float kHueLevels = 256.0f;

inline float Pow5(float v) { return v * v * v * v * v; }

}  // namespace

float CartoonStaircase(float x, float step, float height) {
  const float d = x / step;
  const float e = std::floor(d);
  const float f = d - e;
  if (f < 0.5f) return e * height + Pow5(2.0f * f) * height / 2.0f;
  return e * height + height - Pow5(2.0f * (1.0f - f)) * height / 2.0f;
}

namespace {

// What depends on one small integer is worked out once per process: the hue
// level of a pixel from its two colour differences, the intensity after the
// three-level pull from the sum of its bytes, and the direction of each
// snapped hue level.
struct CartoonTables {
  static constexpr int kSpanY = 511;    // green - red: -255 .. 255
  static constexpr int kSpanX = 1021;   // 2 blue - green - red: -510 .. 510
  std::vector<std::uint8_t> hueLevel;   // kSpanY x kSpanX
  float intensityBase[766];             // intensity' / sqrt 3 by B + G + R
  float cosine[256];
  float sine[256];

  CartoonTables() : hueLevel(static_cast<std::size_t>(kSpanY) * kSpanX) {
    const float root3 = std::sqrt(3.0f);
    for (int dy = -255; dy <= 255; ++dy)
      for (int dx = -510; dx <= 510; ++dx) {
        // Both arguments carry the same factor 1 / 255, which atan2 ignores.
        const float hy = static_cast<float>(dy) * root3, hx = static_cast<float>(dx);
        float hue = hy == 0.0f && hx == 0.0f ? 0.0f : std::atan2(hy, hx);
        if (hue < 0.0f) hue += kTwoPi;
        hueLevel[static_cast<std::size_t>(dy + 255) * kSpanX + (dx + 510)] =
            static_cast<std::uint8_t>(static_cast<int>(hue / kTwoPi * kHueLevels) & 255);
      }
    for (int sum = 0; sum <= 765; ++sum) {
      const float i = static_cast<float>(sum) / 255.0f / root3;
      intensityBase[sum] = (i - std::sin(kTwoPi * i / root3) * root3 / kTwoPi) / root3;
    }
    const float step = kPi / 3.0f, offset = kPi / 24.0f;
    for (int level = 0; level < 256; ++level) {
      const float hue = (static_cast<float>(level) + 0.5f) * kTwoPi / kHueLevels;
      const float h = CartoonStaircase(hue - offset, step, step) + offset;
      cosine[level] = std::cos(h);
      sine[level] = std::sin(h);
    }
  }
};

const CartoonTables& Tables() {
  static const CartoonTables tables;
  return tables;
}

}  // namespace

bool CartoonKernel(const cv::Mat& src, cv::Mat& dst, const std::atomic<bool>* cancel) {
  CV_Assert(src.type() == CV_8UC3);
  const CartoonTables& tables = Tables();
  const int width = src.cols, height = src.rows;
  const float root3 = std::sqrt(3.0f);
  cv::Mat hue8(src.size(), CV_8UC1), chroma(src.size(), CV_32FC1);
  if (!ParallelRows(height, cancel, [&](int y) {
        const std::uint8_t* p = src.ptr<std::uint8_t>(y);
        std::uint8_t* h8 = hue8.ptr<std::uint8_t>(y);
        float* ch = chroma.ptr<float>(y);
        for (int x = 0; x < width; ++x) {
          const int a = p[3 * x], b = p[3 * x + 1], c = p[3 * x + 2];
          h8[x] = tables.hueLevel[static_cast<std::size_t>(b - c + 255) * CartoonTables::kSpanX + (2 * a - b - c + 510)];
          const int squares = (a - b) * (a - b) + (b - c) * (b - c) + (c - a) * (c - a);
          ch[x] = std::sqrt(static_cast<float>(squares)) / 255.0f / root3;
        }
      }))
    return false;

  cv::blur(chroma, chroma, cv::Size(kChromaBox, kChromaBox), cv::Point(-1, -1), cv::BORDER_REPLICATE);
  cv::Mat hueSmooth;
  if (!WashKernel(hue8, hueSmooth, 0.0f, CF_WaterPaint::kWashRadius, CF_WaterPaint::kWashRange, cancel)) return false;

  const float m = std::sqrt(2.0f) / root3;
  const float root6 = std::sqrt(6.0f), root2 = std::sqrt(2.0f), rootTwoThirds = std::sqrt(2.0f / 3.0f);
  dst.create(src.size(), CV_8UC3);
  return ParallelRows(height, cancel, [&](int y) {
    const std::uint8_t* p = src.ptr<std::uint8_t>(y);
    const std::uint8_t* h8 = hueSmooth.ptr<std::uint8_t>(y);
    const float* ch = chroma.ptr<float>(y);
    std::uint8_t* out = dst.ptr<std::uint8_t>(y);
    for (int x = 0; x < width; ++x) {
      const float k = 1.0f - ch[x] / m;
      const float c = ch[x] > m ? 0.7f * m : 0.7f * (1.0f - k * k * k * k) * m;
      const float base = tables.intensityBase[p[3 * x] + p[3 * x + 1] + p[3 * x + 2]];
      const float cs = tables.cosine[h8[x]], sn = tables.sine[h8[x]];
      out[3 * x] = ClampToByte((base + c * (cs * rootTwoThirds)) * 255.0f);
      out[3 * x + 1] = ClampToByte((base + c * (-cs / root6 + sn / root2)) * 255.0f);
      out[3 * x + 2] = ClampToByte((base + c * (-cs / root6 - sn / root2)) * 255.0f);
    }
  });
}

CF_Cartoon::CF_Cartoon() : CF_SimpleFilter(kClassName, {}) {}

bool CF_Cartoon::RunKernel(const cv::Mat& in, cv::Mat& out) { return CartoonKernel(in, out, StopFlag()); }

}  // namespace grinsnap
