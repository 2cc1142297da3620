#include "filters/tone/dim.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "filters/tone/tone_support.h"

namespace grinsnap {
namespace {

// The squared, spread-scaled distance of one coordinate from the centre. A
// region of no width or height leaves no room to blur gently: the blur is
// then infinite off the centre line and absent on it (where 0 / 0 would
// otherwise make the radius undefined).
inline float ScaledSquare(float fraction, float centre, float spread) {
  const float d = fraction - centre;
  if (spread == 0.0f) return d == 0.0f ? 0.0f : std::numeric_limits<float>::infinity();
  const float t = d / spread;
  return t * t;
}

// A box half-size: k x size truncated, never below 0 and never beyond the
// picture (a larger box clips to the same one).
inline int HalfSize(float k, int size) {
  const float r = k * static_cast<float>(size);
  if (!(r > 0.0f)) return 0;
  return r < static_cast<float>(size) ? static_cast<int>(r) : size;
}

}  // namespace

bool DimKernel(const cv::Mat& src, cv::Mat& dst, const FocusRegion& focus, const std::atomic<bool>* cancel) {
  CV_Assert(src.type() == CV_8UC3);
  const cv::Mat in = Unaliased(src, dst);
  dst.create(in.size(), CV_8UC3);
  if (in.empty()) return true;
  const int width = in.cols, height = in.rows;

  SummedTable table;
  if (!table.Build(in, cancel)) return false;

  float cx = focus.x + focus.width / 2.0f, cy = focus.y + focus.height / 2.0f;
  float sx = 4.0f * focus.width, sy = 4.0f * focus.height;
  if (focus.x == 0.0f && focus.y == 0.0f && focus.width == 0.0f && focus.height == 0.0f) {
    cx = cy = 0.5f;
    sx = sy = 1.0f;
  }
  std::vector<float> across(width);
  for (int i = 0; i < width; ++i)
    across[i] = ScaledSquare(static_cast<float>(i) / static_cast<float>(width), cx, sx);

  // Each output pixel reads the finished table only: rows run in parallel.
  return ParallelRows(height, cancel, [&](int j) {
    const float down = ScaledSquare(static_cast<float>(j) / static_cast<float>(height), cy, sy);
    const std::uint8_t* here = in.ptr<std::uint8_t>(j);
    std::uint8_t* out = dst.ptr<std::uint8_t>(j);
    for (int i = 0; i < width; ++i) {
      const float k = 0.02f * std::sqrt(across[i] + down);
      const int rx = HalfSize(k, width), ry = HalfSize(k, height);
      if (rx == 0 && ry == 0) {
        // A box of one pixel: its mean is the pixel.
        for (int c = 0; c < 3; ++c) out[3 * i + c] = here[3 * i + c];
        continue;
      }
      const int x0 = std::max(i - rx, 0), x1 = std::min(i + rx, width - 1);
      const int y0 = std::max(j - ry, 0), y1 = std::min(j + ry, height - 1);
      const std::uint32_t count = static_cast<std::uint32_t>(x1 - x0 + 1) * static_cast<std::uint32_t>(y1 - y0 + 1);
      const std::uint32_t* top = table.Row(y0);
      const std::uint32_t* bottom = table.Row(y1 + 1);
      // Integer sums, integer division: the mean truncated, as it is stored.
      for (int c = 0; c < 3; ++c)
        out[3 * i + c] = static_cast<std::uint8_t>(SummedTable::BoxSum(top, bottom, x0, x1 + 1, c) / count);
    }
  });
}

CF_DimEffect::CF_DimEffect() : CF_SimpleFilter(kClassName, kTraits) {}

bool CF_DimEffect::RunKernel(const cv::Mat& in, cv::Mat& out) {
  // Templates always attach a block; a filter run without one keeps the
  // template's default region rather than failing.
  const FocusRegion focus{Var(kBlockRoiX, kDefaultVariableBlock[kBlockRoiX]),
                          Var(kBlockRoiY, kDefaultVariableBlock[kBlockRoiY]),
                          Var(kBlockRoiWidth, kDefaultVariableBlock[kBlockRoiWidth]),
                          Var(kBlockRoiHeight, kDefaultVariableBlock[kBlockRoiHeight])};
  return DimKernel(in, out, focus, StopFlag());
}

cv::Size* CF_DimEffect::GetOutputSize(cv::Size* size) {
  if (size) *size = OutputSize();
  return size;
}

}  // namespace grinsnap
