#include "filters/warp/punch.h"

#include <cmath>

#include "core/variable_block.h"
#include "filters/warp/warp_sampling.h"

namespace grinsnap {

bool PunchKernel(const cv::Mat& src, cv::Mat& dst, float a, float p, float cx, float cy,
                 const std::atomic<bool>* cancel) {
  const cv::Mat in = Unaliased(src, dst);
  in.copyTo(dst);
  const float width = static_cast<float>(in.cols), height = static_cast<float>(in.rows);
  const float radius = a * std::sqrt(width * width + height * height) / 2.0f;
  if (!(radius > 0.0f)) return !CancelRequested(cancel);
  return WarpBySampling(
      in, dst, SampleBorder::Clamp, WarpStore::Round,
      [&](int x, int y, float& u, float& v) {
        const float dx = static_cast<float>(x) + 0.5f - cx;
        const float dy = static_cast<float>(y) + 0.5f - cy;
        const float d = std::sqrt(dx * dx + dy * dy);
        if (!(d < radius)) return false;
        // Along the direction (cos t, sin t) = (dx, dy) / d to the new distance.
        const float scale = d > 0.0f ? radius * std::pow(d / radius, p) / d : 0.0f;
        u = (cx + dx * scale) / width;
        v = (cy + dy * scale) / height;
        return true;
      },
      cancel);
}

CF_Punch::CF_Punch() : CF_SimpleFilter(kClassName, kTraits) {}

bool CF_Punch::RunKernel(const cv::Mat& in, cv::Mat& out) {
  const float cx = Var(kBlockPointX, 0.5f) * static_cast<float>(in.cols);
  const float cy = Var(kBlockPointY, 0.5f) * static_cast<float>(in.rows);
  return PunchKernel(in, out, Param(kRadius), Param(kPower), cx, cy, StopFlag());
}

}  // namespace grinsnap
