// The second watercolour (type 1) and the wash it shares with the cartoon
// are this program's own design. A watercolour on a photo reads as such when
// (1) the shapes are flattened into washes with soft but definite borders
// that wander a little, as wet paint spreads, (2) pigment pools along those
// borders and settles unevenly inside them (granulation, blooms), (3) the
// paint stays transparent: the paper shows through, the lightest parts are
// left as paper, and its tooth is visible even where the wash is soft.
// The wash does (1) with a median, which rounds shapes off without
// inventing colours, and a few passes of a sigma filter, which smooths inside
// a shape but never across a step larger than its range; slow noise then
// pushes the wash about by a few pixels. The finish does (2) and (3) with a
// pigment-density model C - (C - C^2)(d - 1), the density raised on the
// dark side of borders and by two scales of deterministic noise, a lighter
// transparent layer, reserved whites, and a fine tooth at the output's size.
// It works at a 600-pixel picture (small ones enlarged), so its shapes keep
// their size on any photo.
#include "filters/drawing/water_paint.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>

#include "core/xml_params.h"
#include "filters/drawing/drawing_support.h"
#include "filters/kernel_support.h"

namespace grinsnap {
namespace {

constexpr int kSmallPicture = 400;
constexpr double kWorkingSide = 600.0;
constexpr int kMaxDiffusionPasses = 21;
constexpr float kPullBack = 1.0f / 20.0f;
// Beyond these the wash only takes longer, it does not change.
constexpr int kMaxWashRadius = 127;
constexpr double kLargestWash = 4096.0;

// Salts of the finish's noise layers.
constexpr std::uint32_t kGranulationSalt = 0x4752u;
constexpr std::uint32_t kFlowSalt = 0x464cu;
// How far the wet paint wanders, in working pixels of a 750-pixel picture,
// and how much of the photo's darkness the transparent layer keeps.
constexpr float kWobble = 2.5f;
constexpr float kTransparency = 0.8f;

// One pass of the sign diffusion over rows of `from` into `to`; the largest
// change of each row goes to rowChange.
void DiffusionRow(const cv::Mat& from, const cv::Mat& reference, cv::Mat& to, int y, float& rowChange) {
  const int width = from.cols, height = from.rows;
  const float* up = from.ptr<float>(std::max(y - 1, 0));
  const float* mid = from.ptr<float>(y);
  const float* down = from.ptr<float>(std::min(y + 1, height - 1));
  const float* o = reference.ptr<float>(y);
  float* out = to.ptr<float>(y);
  float largest = 0.0f;
  for (int x = 0; x < width; ++x) {
    const int right = 3 * std::min(x + 1, width - 1), left = 3 * std::max(x - 1, 0);
    for (int c = 0; c < 3; ++c) {
      const int i = 3 * x + c;
      const float v = mid[i];
      const float n[4] = {mid[right + c], down[i], mid[left + c], up[i]};
      int sign = 0;
      for (float w : n) sign += (w > v) - (w < v);
      const float next = v + static_cast<float>(sign) + (o[i] - v) * kPullBack;
      out[i] = next;
      largest = std::max(largest, std::fabs(next - v));
    }
  }
  rowChange = largest;
}

// One pass of the 3 x 3 sigma filter: each value becomes the rounded mean of
// the neighbourhood's values within `range` of it (itself always among
// them); the border repeats the edge.
#if CV_SIMD128
// The sigma pass on 16 values at a time, with the same integer result: the
// sums of at most nine bytes are exact in 16 bits, and (sum + count / 2) /
// count in floats, floored, is the integer quotient (the float error is far
// below the 1/9 that separates a quotient from the next integer).
int SigmaVector(const std::uint8_t* const rows[3], std::uint8_t* o, int span, int channels, int range) {
  const cv::v_uint8x16 limit = cv::v_setall_u8(static_cast<std::uint8_t>(range));
  int i = 0;
  for (; i + 16 <= span; i += 16) {
    const cv::v_uint8x16 centre = cv::v_load(rows[1] + i + channels);
    cv::v_uint16x8 sumLo = cv::v_setzero_u16(), sumHi = cv::v_setzero_u16();
    cv::v_uint8x16 count = cv::v_setzero_u8();
    for (int r = 0; r < 3; ++r)
      for (int dx = 0; dx <= 2 * channels; dx += channels) {
        const cv::v_uint8x16 v = cv::v_load(rows[r] + i + dx);
        const cv::v_uint8x16 within = cv::v_absdiff(v, centre) <= limit;
        cv::v_uint16x8 lo, hi;
        cv::v_expand(v & within, lo, hi);
        sumLo += lo;
        sumHi += hi;
        count = cv::v_sub_wrap(count, within);  // all ones is -1
      }
    cv::v_uint16x8 countLo, countHi;
    cv::v_expand(count, countLo, countHi);
    auto divide = [](const cv::v_uint16x8& sum, const cv::v_uint16x8& n) {
      const cv::v_uint16x8 rounded = sum + (n >> 1);
      cv::v_uint32x4 s0, s1, n0, n1;
      cv::v_expand(rounded, s0, s1);
      cv::v_expand(n, n0, n1);
      const cv::v_int32x4 q0 = cv::v_floor(cv::v_cvt_f32(cv::v_reinterpret_as_s32(s0)) /
                                           cv::v_cvt_f32(cv::v_reinterpret_as_s32(n0)));
      const cv::v_int32x4 q1 = cv::v_floor(cv::v_cvt_f32(cv::v_reinterpret_as_s32(s1)) /
                                           cv::v_cvt_f32(cv::v_reinterpret_as_s32(n1)));
      return cv::v_pack(cv::v_reinterpret_as_u32(q0), cv::v_reinterpret_as_u32(q1));
    };
    cv::v_store(o + i, cv::v_pack(divide(sumLo, countLo), divide(sumHi, countHi)));
  }
  return i;
}
#endif

void SigmaPass(const cv::Mat& in, cv::Mat& out, int range) {
  const int channels = in.channels();
  if (range < 0) {
    // No value lies within a negative range of anything, not even itself.
    in.copyTo(out);
    return;
  }
  cv::Mat padded;
  cv::copyMakeBorder(in, padded, 1, 1, 1, 1, cv::BORDER_REPLICATE);
  out.create(in.size(), in.type());
  const int span = in.cols * channels;
  ParallelRows(in.rows, nullptr, [&](int y) {
    const std::uint8_t* rows[3] = {padded.ptr<std::uint8_t>(y), padded.ptr<std::uint8_t>(y + 1),
                                   padded.ptr<std::uint8_t>(y + 2)};
    std::uint8_t* o = out.ptr<std::uint8_t>(y);
    int i = 0;
#if CV_SIMD128
    i = SigmaVector(rows, o, span, channels, range);
#endif
    for (; i < span; ++i) {
      const int centre = rows[1][i + channels];
      int sum = 0, count = 0;
      for (const std::uint8_t* r : rows)
        for (int dx = 0; dx <= 2 * channels; dx += channels) {
          const int v = r[i + dx];
          const int within = (v - centre <= range) & (centre - v <= range);
          sum += within * v;
          count += within;
        }
      // The centre is always among them: count is at least 1.
      o[i] = static_cast<std::uint8_t>((sum + count / 2) / count);
    }
  });
}

// Fine paper tooth laid on an 8-bit BGR picture in place: the grain keeps its
// size relative to the picture.
void LayTooth(cv::Mat& picture) {
  const float cell = std::max(2.4f, static_cast<float>(std::hypot(picture.cols, picture.rows)) / 450.0f);
  const cv::Mat toothPlane = TileTexture(ToothTile(), picture.size(), kToothTileCell / cell);
  ParallelRows(picture.rows, nullptr, [&](int y) {
    std::uint8_t* p = picture.ptr<std::uint8_t>(y);
    const float* toothRow = toothPlane.ptr<float>(y);
    for (int x = 0; x < picture.cols; ++x) {
      const float tooth = toothRow[x];
      const float shade = 1.0f - 0.09f * std::max(0.0f, 0.62f - tooth) / 0.62f;
      for (int c = 0; c < 3; ++c) p[3 * x + c] = static_cast<std::uint8_t>(static_cast<float>(p[3 * x + c]) * shade + 0.5f);
    }
  });
}

}  // namespace

cv::Size WaterPaintWorkingSize(cv::Size picture, float x) {
  if (picture.width <= kSmallPicture && picture.height <= kSmallPicture) return picture;
  const double c = std::min(kWorkingSide / picture.width, kWorkingSide / picture.height);
  // A scale that is not a positive number gives the smallest picture; a
  // huge one the largest this allows.
  const double scale = x > 0.0f && std::isfinite(x) ? static_cast<double>(x) * c : 0.0;
  auto side = [scale](int length) {
    const double v = std::round(length * scale);
    return static_cast<int>(std::clamp(v, 1.0, 2.0 * length));
  };
  return {side(picture.width), side(picture.height)};
}

bool SignDiffusionKernel(const cv::Mat& src, cv::Mat& dst, float x, const std::atomic<bool>* cancel) {
  CV_Assert(src.type() == CV_8UC3);
  const cv::Size working = WaterPaintWorkingSize(src.size(), x);
  cv::Mat small;
  cv::resize(src, small, working, 0, 0, cv::INTER_LINEAR);
  cv::Mat reference, a, b;
  small.convertTo(reference, CV_32FC3);
  a = reference.clone();
  b = reference.clone();
  std::vector<float> rowChange(static_cast<std::size_t>(working.height), 0.0f);
  for (int pass = 1; pass <= kMaxDiffusionPasses; ++pass) {
    const cv::Mat& from = pass % 2 ? a : b;
    cv::Mat& to = pass % 2 ? b : a;
    // Each row reads the previous pass only: rows run in parallel, and the
    // largest change is the same however they are split.
    if (!ParallelRows(working.height, cancel,
                      [&](int y) { DiffusionRow(from, reference, to, y, rowChange[static_cast<std::size_t>(y)]); }))
      return false;
    if (*std::max_element(rowChange.begin(), rowChange.end()) < 1.0f) break;
  }
  cv::Mat result;
  a.convertTo(result, CV_8UC3);
  dst.create(src.size(), CV_8UC3);
  cv::resize(result, dst, src.size(), 0, 0, cv::INTER_LINEAR);
  return true;
}

bool WashKernel(const cv::Mat& src, cv::Mat& dst, float x, int n, float s, const std::atomic<bool>* cancel) {
  CV_Assert(src.depth() == CV_8U && (src.channels() == 1 || src.channels() == 3));
  const cv::Size working = x > 0.0f ? WaterPaintWorkingSize(src.size(), x) : src.size();
  cv::Mat wash;
  if (working == src.size())
    wash = src.clone();
  else
    cv::resize(src, wash, working, 0, 0, cv::INTER_LINEAR);
  n = std::clamp(n, 0, kMaxWashRadius);
  if (n > 0) cv::medianBlur(wash, wash, 2 * n + 1);
  if (CancelRequested(cancel)) return false;
  // Values differ by whole levels: within s is within floor(s). NaN keeps
  // every value as it is.
  const int range = s >= 0.0f ? static_cast<int>(std::min(s, 255.0f)) : -1;
  cv::Mat next;
  for (int pass = 0; pass < n; ++pass) {
    SigmaPass(wash, next, range);
    std::swap(wash, next);
    if (CancelRequested(cancel)) return false;
  }
  dst = wash;
  return true;
}

cv::Size WetWashWorkingSize(cv::Size picture, float x) {
  const double c = std::min(kWorkingSide / picture.width, kWorkingSide / picture.height);
  const double scale = x > 0.0f && std::isfinite(x) ? static_cast<double>(x) * c : 0.0;
  auto side = [scale](int length) { return static_cast<int>(std::clamp(std::round(length * scale), 1.0, kLargestWash)); };
  return {side(picture.width), side(picture.height)};
}

bool WetWashKernel(const cv::Mat& src, cv::Mat& dst, float x, const std::atomic<bool>* cancel) {
  CV_Assert(src.type() == CV_8UC3);
  // Small pictures are enlarged to the working size too: the wash's shapes
  // are sized for it, and on a thumbnail they would swallow a face.
  cv::Mat enlarged;
  cv::resize(src, enlarged, WetWashWorkingSize(src.size(), x), 0, 0, cv::INTER_LINEAR);
  cv::Mat wash;
  if (!WashKernel(enlarged, wash, 0.0f, CF_WaterPaint::kWashRadius, CF_WaterPaint::kWashRange, cancel)) return false;
  const cv::Size working = wash.size();
  const float scale = static_cast<float>(std::hypot(working.width, working.height)) / 750.0f;

  // The paint spreads a little beyond the shapes and not evenly: the wash is
  // pushed about by slow noise, so its borders wobble like wet paint.
  const cv::Mat pushX = NoisePlane(working, std::max(6.0f, 22.0f * scale), 2, 0.5f, kFlowSalt + 1u);
  const cv::Mat pushY = NoisePlane(working, std::max(6.0f, 22.0f * scale), 2, 0.5f, kFlowSalt + 2u);
  cv::Mat mapX(working, CV_32FC1), mapY(working, CV_32FC1);
  const float reach = std::max(1.0f, kWobble * scale);
  ParallelRows(working.height, nullptr, [&](int y) {
    const float* px = pushX.ptr<float>(y);
    const float* py = pushY.ptr<float>(y);
    float* mx = mapX.ptr<float>(y);
    float* my = mapY.ptr<float>(y);
    for (int i = 0; i < working.width; ++i) {
      mx[i] = static_cast<float>(i) + (px[i] - 0.5f) * 2.0f * reach;
      my[i] = static_cast<float>(y) + (py[i] - 0.5f) * 2.0f * reach;
    }
  });
  cv::Mat wobbled;
  cv::remap(wash, wobbled, mapX, mapY, cv::INTER_LINEAR, cv::BORDER_REFLECT);
  cv::Mat colour;
  wobbled.convertTo(colour, CV_32FC3, 1.0 / 255.0);
  cv::Mat lum, blurred;
  cv::cvtColor(colour, lum, cv::COLOR_BGR2GRAY);
  cv::GaussianBlur(lum, blurred, cv::Size(), std::max(1.0f, 2.5f * scale), 0, cv::BORDER_REPLICATE);
  const cv::Mat granulation = NoisePlane(working, std::max(1.5f, 2.5f * scale), 3, 0.55f, kGranulationSalt);
  const cv::Mat flow = NoisePlane(working, std::max(8.0f, 45.0f * scale), 2, 0.5f, kFlowSalt);
  if (CancelRequested(cancel)) return false;

  cv::Mat painted(working, CV_8UC3);
  if (!ParallelRows(working.height, cancel, [&](int y) {
        const cv::Vec3f* c = colour.ptr<cv::Vec3f>(y);
        const float* l = lum.ptr<float>(y);
        const float* lb = blurred.ptr<float>(y);
        const float* g = granulation.ptr<float>(y);
        const float* f = flow.ptr<float>(y);
        cv::Vec3b* out = painted.ptr<cv::Vec3b>(y);
        for (int px = 0; px < working.width; ++px) {
          // The lightest parts are left as paper, as a painter reserves
          // them; the rest is a transparent layer over it.
          const float reserve = std::clamp((l[px] - 0.82f) / 0.1f, 0.0f, 1.0f);
          // Pigment pools on the dark side of a border, and settles
          // unevenly: fine granules, more of them where the paint is thick,
          // and broad blooms where the water flowed.
          const float pooled = std::min(std::max(lb[px] - l[px], 0.0f) * 7.0f, 0.9f);
          const float thick = 1.0f - l[px];
          const float density =
              1.0f + pooled + (0.25f + 0.6f * thick) * (g[px] - 0.5f) * 1.4f + 0.45f * (f[px] - 0.5f);
          for (int ch = 0; ch < 3; ++ch) {
            float wet = 1.0f - kTransparency * (1.0f - c[px][ch]);
            wet = wet - (wet - wet * wet) * (density - 1.0f);
            const float v = wet + (1.0f - wet) * reserve;
            out[px][ch] = ClampToByte(v * 255.0f + 0.5f);
          }
        }
      }))
    return false;
  dst.create(src.size(), CV_8UC3);
  cv::resize(painted, dst, src.size(), 0, 0, cv::INTER_LINEAR);
  LayTooth(dst);
  return !CancelRequested(cancel);
}

CF_WaterPaint::CF_WaterPaint() : CF_SimpleFilter(kClassName, kTraits) {}

bool CF_WaterPaint::RunKernel(const cv::Mat& in, cv::Mat& out) {
  // The type is read at every run, so a document edited in place takes
  // effect without a new filter.
  int type = kDiffusionType;
  ReadAttribute(element_, "type", type);
  const float x = Param(kScale);
  if (type == kDiffusionType) return SignDiffusionKernel(in, out, x, StopFlag());
  if (type == kWetWashType) return WetWashKernel(in, out, x, StopFlag());
  return true;
}

}  // namespace grinsnap
