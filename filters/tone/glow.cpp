#include "filters/tone/glow.h"

#include <algorithm>
#include <cstdint>

#include "filters/tone/tone_support.h"
#include "core/xml_params.h"
#include "platform/crt_random.h"

namespace grinsnap {
namespace {

// What a glowing pixel gains in each channel.
constexpr int kGlowGain = 50;
// Half-width, in brightness levels, of the box glow's smooth step.
constexpr float kStepHalfWidth = 10.0f;

// A neighbour coordinate from one draw: here + (2 draw / 32767 - 1) radius,
// truncated toward zero as a whole and clamped into 0 .. size - 1. (Only
// truncating the offset would keep every neighbour of a radius-1 glow on
// the pixel itself.)
inline int Neighbour(int here, int draw, float radius, int size) {
  const float offset = (2.0f * static_cast<float>(draw) / static_cast<float>(CrtRandom::kMax) - 1.0f) * radius;
  const float v = static_cast<float>(here) + offset;
  if (!(v > 0.0f)) return 0;
  if (v >= static_cast<float>(size - 1)) return size - 1;
  return static_cast<int>(v);
}

// The smooth step of the box glow: 0 up to the threshold, rising to 1 at
// threshold + 10 (the cubic is below 0 on the lower half and is clamped).
inline float BoxGlowWeight(float brightness, float threshold) {
  if (brightness <= threshold - kStepHalfWidth) return 0.0f;
  if (brightness >= threshold + kStepHalfWidth) return 1.0f;
  const float u = (brightness - threshold) / kStepHalfWidth;
  return std::clamp((3.0f * u - u * u * u) / 2.0f, 0.0f, 1.0f);
}

}  // namespace

float GlowThreshold(const cv::Mat& src, float factor) {
  const cv::Scalar means = cv::mean(src);
  return (static_cast<float>(means[0]) + static_cast<float>(means[1]) + static_cast<float>(means[2])) / 3.0f *
         factor;
}

bool GlowScatterKernel(const cv::Mat& src, cv::Mat& dst, int radius, float factor, std::uint32_t seed,
                       const std::atomic<bool>* cancel) {
  CV_Assert(src.type() == CV_8UC3);
  const cv::Mat in = Unaliased(src, dst);
  dst.create(in.size(), CV_8UC3);
  if (in.empty()) return true;
  const int width = in.cols, height = in.rows;
  const float threshold = GlowThreshold(in, factor);
  const float r = static_cast<float>(std::clamp(radius, -(1 << 30), 1 << 30));

  // Which pixels are bright enough to make a neighbour glow, worked out once.
  cv::Mat bright(in.size(), CV_8U);
  ParallelRows(height, nullptr, [&](int y) {
    const std::uint8_t* p = in.ptr<std::uint8_t>(y);
    std::uint8_t* b = bright.ptr<std::uint8_t>(y);
    for (int x = 0; x < width; ++x)
      b[x] = static_cast<float>((p[3 * x] + p[3 * x + 1] + p[3 * x + 2]) / 3) >= threshold;
  });

  // The draws are part of the picture, but every pixel makes exactly two, so
  // row y starts 2 W y draws after the seed: each row jumps its own
  // generator there and rows run in parallel with the draws of a sequential
  // run, on any number of threads.
  const std::uint64_t drawsPerRow = 2ull * static_cast<std::uint64_t>(width);
  return ParallelRows(height, cancel, [&](int y) {
    CrtRandom random(seed);
    random.Discard(drawsPerRow * static_cast<std::uint64_t>(y));
    const std::uint8_t* p = in.ptr<std::uint8_t>(y);
    std::uint8_t* out = dst.ptr<std::uint8_t>(y);
    for (int x = 0; x < width; ++x) {
      const int first = random.Next();
      const int second = random.Next();
      const int ny = Neighbour(y, first, r, height);
      const int nx = Neighbour(x, second, r, width);
      const int gain = bright.ptr<std::uint8_t>(ny)[nx] ? kGlowGain : 0;
      for (int c = 0; c < 3; ++c) out[3 * x + c] = static_cast<std::uint8_t>(std::min(p[3 * x + c] + gain, 255));
    }
  });
}

bool GlowBoxKernel(const cv::Mat& src, cv::Mat& dst, int radius, float factor, const std::atomic<bool>* cancel) {
  CV_Assert(src.type() == CV_8UC3);
  const cv::Mat in = Unaliased(src, dst);
  dst.create(in.size(), CV_8UC3);
  if (in.empty()) return true;
  if (radius < 1) {
    // The box of every pixel is empty and has no mean: nothing glows.
    in.copyTo(dst);
    return true;
  }
  const int width = in.cols, height = in.rows;
  // A radius past the picture gives the same boxes as one that just covers it.
  radius = std::min(radius, std::max(width, height));
  const float threshold = GlowThreshold(in, factor);

  SummedTable table;
  if (!table.Build(in, cancel)) return false;

  // Each output pixel reads the finished table only: rows run in parallel.
  return ParallelRows(height, cancel, [&](int y) {
    const int y0 = std::max(y - radius, 0), y1 = std::min(y + radius, height);
    const std::uint32_t* top = table.Row(y0);
    const std::uint32_t* bottom = table.Row(y1);
    const std::uint8_t* p = in.ptr<std::uint8_t>(y);
    std::uint8_t* out = dst.ptr<std::uint8_t>(y);
    for (int x = 0; x < width; ++x) {
      const int x0 = std::max(x - radius, 0), x1 = std::min(x + radius, width);
      const float area = static_cast<float>((x1 - x0) * (y1 - y0));
      float mean[3];
      for (int c = 0; c < 3; ++c) mean[c] = static_cast<float>(SummedTable::BoxSum(top, bottom, x0, x1, c)) / area;
      const float z = BoxGlowWeight((mean[0] + mean[1] + mean[2]) / 3.0f, threshold) / 2.0f;
      for (int c = 0; c < 3; ++c)
        out[3 * x + c] = ClampToByte((1.0f - z) * static_cast<float>(p[3 * x + c]) + z * mean[c]);
    }
  });
}

CF_Glow::CF_Glow() : CF_SimpleFilter(kClassName, kTraits) {}

int CF_Glow::Load() {
  type_ = kScatterType;
  ReadAttribute(element_, "type", type_);
  return 0;
}

bool CF_Glow::RunKernel(const cv::Mat& in, cv::Mat& out) {
  const int radius = TruncateToInt(Param(kRadius));
  const float factor = Param(kFactor);
  if (type_ == kScatterType) return GlowScatterKernel(in, out, radius, factor, seed_, StopFlag());
  if (type_ == kBoxType) return GlowBoxKernel(in, out, radius, factor, StopFlag());
  return true;  // other types leave the output as it is
}

}  // namespace grinsnap
