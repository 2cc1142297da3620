#include "filters/tone/moon.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>


#include "filters/simd_support.h"
#include "filters/tone/tone_support.h"

namespace grinsnap {
namespace {

// The moon's colour, blue, green, red.
constexpr float kMoonColour[3] = {255.0f, 250.0f, 245.0f};

#if CV_SIMD128
// Tints and blends 16 pixels at a time with the same operations, in the same
// order, as the scalar loop; the saturating packs clamp as ClampToByte does.
// Returns the number of pixels done.
int BlendMoonRowVector(const std::uint8_t* in, std::uint8_t* out, const float* weight, int width) {
  const cv::v_float32x4 one = cv::v_setall_f32(1.0f), full = cv::v_setall_f32(255.0f);
  const cv::v_float32x4 moonColour[3] = {cv::v_setall_f32(kMoonColour[0]), cv::v_setall_f32(kMoonColour[1]),
                                         cv::v_setall_f32(kMoonColour[2])};
  const cv::v_int32x4 k150 = cv::v_setall_s32(150), k110 = cv::v_setall_s32(110), k100 = cv::v_setall_s32(100),
                      k75 = cv::v_setall_s32(75), k70 = cv::v_setall_s32(70), k55 = cv::v_setall_s32(55),
                      k50 = cv::v_setall_s32(50);
  int x = 0;
  for (; x + 16 <= width; x += 16) {
    cv::v_uint8x16 b8, g8, r8;
    cv::v_load_deinterleave(in + 3 * x, b8, g8, r8);
    cv::v_int32x4 b[4], g[4], r[4];
    WidenBytes(b8, b);
    WidenBytes(g8, g);
    WidenBytes(r8, r);
    cv::v_float32x4 channel[3][4];
    for (int k = 0; k < 4; ++k) {
      const cv::v_float32x4 w = cv::v_load(weight + x + 4 * k);
      const cv::v_float32x4 tint[3] = {cv::v_cvt_f32(k150 * b[k] + k110 * g[k] + k100 * r[k]) / full,
                                       cv::v_cvt_f32(k75 * g[k] + k70 * r[k]) / full,
                                       cv::v_cvt_f32(k55 * g[k] + k50 * r[k]) / full};
      for (int c = 0; c < 3; ++c) channel[c][k] = (one - w) * tint[c] + w * moonColour[c];
    }
    cv::v_store_interleave(out + 3 * x, TruncateToBytes(channel[0]), TruncateToBytes(channel[1]),
                           TruncateToBytes(channel[2]));
  }
  return x;
}
#else
int BlendMoonRowVector(const std::uint8_t*, std::uint8_t*, const float*, int) { return 0; }
#endif

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
  const int width = src.cols;

  std::vector<float> dx2(width);
  for (int x = 0; x < width; ++x) {
    const float dx = static_cast<float>(x) - moon.x;
    dx2[x] = dx * dx;
  }

  // Every pixel depends on itself alone: rows run in parallel. The halo's
  // two exponentials are the bulk of the work; they are taken a row at a
  // time with OpenCV's vectorised exp, which gives the same values whatever
  // the split.
  std::atomic<bool> stopped{false};
  cv::parallel_for_(cv::Range(0, src.rows), [&](const cv::Range& rows) {
    // Row buffers, once per stripe: distances from the rim, then the wide
    // and the narrow Gaussian's exponents side by side, then their values.
    std::vector<float> rim(width);
    cv::Mat exponents(1, 2 * width, CV_32F), gaussians(1, 2 * width, CV_32F);
    float* wide = exponents.ptr<float>(0);
    float* narrow = wide + width;
    for (int y = rows.start; y < rows.end; ++y) {
      if (stopped.load(std::memory_order_relaxed) || CancelRequested(cancel)) {
        stopped = true;
        return;
      }
      const float dy = static_cast<float>(y) - moon.y;
      const float dy2 = dy * dy;
      int x0 = 0;
#if CV_SIMD128
      // The same operations four at a time (sqrt and division are exact in both).
      const cv::v_float32x4 vdy2 = cv::v_setall_f32(dy2), vradius = cv::v_setall_f32(moon.radius),
                            vhalo = cv::v_setall_f32(halo), two = cv::v_setall_f32(2.0f),
                            forty = cv::v_setall_f32(40.0f), zero = cv::v_setzero_f32();
      for (; x0 + 4 <= width; x0 += 4) {
        const cv::v_float32x4 d = cv::v_sqrt(cv::v_load(&dx2[x0]) + vdy2) - vradius;
        const cv::v_float32x4 s = d / vhalo;
        cv::v_store(&rim[x0], d);
        cv::v_store(wide + x0, zero - (s / two) * (s / two));
        cv::v_store(narrow + x0, zero - (forty * s) * (forty * s));
      }
#endif
      for (int x = x0; x < width; ++x) {
        const float d = std::sqrt(dx2[x] + dy2) - moon.radius;
        const float s = d / halo;
        rim[x] = d;
        wide[x] = -(s / 2.0f) * (s / 2.0f);
        narrow[x] = -(40.0f * s) * (40.0f * s);
      }
      cv::exp(exponents, gaussians);
      const float* gWide = gaussians.ptr<float>(0);
      const float* gNarrow = gWide + width;

      const std::uint8_t* in = src.ptr<std::uint8_t>(y);
      std::uint8_t* out = dst.ptr<std::uint8_t>(y);
      // The halo weight: the moon colour alone inside the disc.
      for (int x = 0; x < width; ++x) rim[x] = rim[x] < 0.0f ? 1.0f : 0.8f * gWide[x] + 0.2f * gNarrow[x];
      int x = BlendMoonRowVector(in, out, rim.data(), width);
      for (in += 3 * x, out += 3 * x; x < width; ++x, in += 3, out += 3) {
        const float weight = rim[x];
        const int b = in[0], g = in[1], r = in[2];
        // Night tint: most of the light goes to blue, little stays red.
        const float tint[3] = {static_cast<float>(150 * b + 110 * g + 100 * r) / 255.0f,
                               static_cast<float>(75 * g + 70 * r) / 255.0f,
                               static_cast<float>(55 * g + 50 * r) / 255.0f};
        for (int c = 0; c < 3; ++c) out[c] = ClampToByte((1.0f - weight) * tint[c] + weight * kMoonColour[c]);
      }
    }
  });
  return !stopped;
}

CF_Moon::CF_Moon() : CF_SimpleFilter(kClassName, kTraits) {}

bool CF_Moon::RunKernel(const cv::Mat& in, cv::Mat& out) { return MoonKernel(in, out, Param(kPosition), StopFlag()); }

}  // namespace grinsnap
