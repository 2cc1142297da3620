// The cartoon's hue smoothing is this program's own design: the hue plane,
// as 8-bit levels of a full turn, goes through the wash of the second
// watercolour (a median of aperture 11, then five passes of a 3 x 3 sigma
// filter of range 20 levels, 28 degrees). Neither averages across a step,
// so a hue near 0 and one near a full turn (both bluish) never blend into
// the opposite hue, and the noisy hues of near-grey pixels are evened out
// before the staircase snaps them. Where the wash left a level as it was,
// the hue keeps its full precision.
#include "filters/drawing/cartoon.h"

#include <cmath>

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

bool CartoonKernel(const cv::Mat& src, cv::Mat& dst, const std::atomic<bool>* cancel) {
  CV_Assert(src.type() == CV_8UC3);
  const int width = src.cols, height = src.rows;
  const float root3 = std::sqrt(3.0f);
  cv::Mat hue8(src.size(), CV_8UC1), chroma(src.size(), CV_32FC1), intensity(src.size(), CV_32FC1);
  cv::Mat hueFine(src.size(), CV_32FC1);
  if (!ParallelRows(height, cancel, [&](int y) {
        const std::uint8_t* p = src.ptr<std::uint8_t>(y);
        std::uint8_t* h8 = hue8.ptr<std::uint8_t>(y);
        float* hf = hueFine.ptr<float>(y);
        float* ch = chroma.ptr<float>(y);
        float* in = intensity.ptr<float>(y);
        for (int x = 0; x < width; ++x) {
          const float a = p[3 * x] / 255.0f, b = p[3 * x + 1] / 255.0f, c = p[3 * x + 2] / 255.0f;
          const float hy = (b - c) * root3, hx = 2.0f * a - b - c;
          float hue = hy == 0.0f && hx == 0.0f ? 0.0f : std::atan2(hy, hx);
          if (hue < 0.0f) hue += kTwoPi;
          hf[x] = hue;
          h8[x] = static_cast<std::uint8_t>(static_cast<int>(hue / kTwoPi * kHueLevels) & 255);
          ch[x] = std::sqrt((a - b) * (a - b) + (b - c) * (b - c) + (c - a) * (c - a)) / root3;
          in[x] = (a + b + c) / root3;
        }
      }))
    return false;

  cv::blur(chroma, chroma, cv::Size(kChromaBox, kChromaBox), cv::Point(-1, -1), cv::BORDER_REPLICATE);
  cv::Mat hueSmooth;
  if (!WashKernel(hue8, hueSmooth, 0.0f, CF_WaterPaint::kWashRadius, CF_WaterPaint::kWashRange, cancel)) return false;

  const float step = kPi / 3.0f, offset = kPi / 24.0f;
  const float m = std::sqrt(2.0f) / root3;
  const float root6 = std::sqrt(6.0f), root2 = std::sqrt(2.0f), rootTwoThirds = std::sqrt(2.0f / 3.0f);
  dst.create(src.size(), CV_8UC3);
  return ParallelRows(height, cancel, [&](int y) {
    const std::uint8_t* h8 = hueSmooth.ptr<std::uint8_t>(y);
    const std::uint8_t* h8Before = hue8.ptr<std::uint8_t>(y);
    const float* hf = hueFine.ptr<float>(y);
    const float* ch = chroma.ptr<float>(y);
    const float* in = intensity.ptr<float>(y);
    std::uint8_t* out = dst.ptr<std::uint8_t>(y);
    for (int x = 0; x < width; ++x) {
      // Where the wash left a hue level as it was, the hue keeps its full
      // precision; elsewhere it is the middle of its new level.
      const float hue = h8[x] == h8Before[x] ? hf[x] : (static_cast<float>(h8[x]) + 0.5f) * kTwoPi / kHueLevels;
      const float h = CartoonStaircase(hue - offset, step, step) + offset;
      const float c = ch[x] > m ? 0.7f * m : 0.7f * (1.0f - std::pow(1.0f - ch[x] / m, 4.0f)) * m;
      const float i = in[x] - std::sin(kTwoPi * in[x] / root3) * root3 / kTwoPi;
      const float base = i / root3, ch_ = std::cos(h), sh = std::sin(h);
      const float blue = base + c * (ch_ * rootTwoThirds);
      const float green = base + c * (-ch_ / root6 + sh / root2);
      const float red = base + c * (-ch_ / root6 - sh / root2);
      out[3 * x] = ClampToByte(blue * 255.0f);
      out[3 * x + 1] = ClampToByte(green * 255.0f);
      out[3 * x + 2] = ClampToByte(red * 255.0f);
    }
  });
}

CF_Cartoon::CF_Cartoon() : CF_SimpleFilter(kClassName, {}) {}

bool CF_Cartoon::RunKernel(const cv::Mat& in, cv::Mat& out) { return CartoonKernel(in, out, StopFlag()); }

}  // namespace grinsnap
