#pragma once

// Small pieces every family of kernels shares: safe conversions of block
// values, a cancellable parallel row loop and a guard against reading one's
// own writes.

#include <algorithm>
#include <atomic>
#include <cstdint>

#include <opencv2/core.hpp>
#include <opencv2/core/utility.hpp>

namespace grinsnap {

// Truncates a block value toward zero. Block values are whatever the user
// typed; beyond +-2^30 (far past any image size) they saturate and NaN reads
// as 0, so that the conversion can never overflow.
inline int TruncateToInt(float v) {
  constexpr float kLimit = 1073741824.0f;  // 2^30
  if (!(v == v)) return 0;
  return static_cast<int>(std::clamp(v, -kLimit, kLimit));
}

// Clamps to 0..255 and truncates toward zero; NaN gives 0.
inline std::uint8_t ClampToByte(float v) {
  if (!(v > 0.0f)) return 0;
  if (v >= 255.0f) return 255;
  return static_cast<std::uint8_t>(v);
}

inline std::uint8_t ClampToByte(double v) {
  if (!(v > 0.0)) return 0;
  if (v >= 255.0) return 255;
  return static_cast<std::uint8_t>(v);
}

// 0 below lo, 1 above hi, and the smooth cubic 3t^2 - 2t^3 between.
inline float SmoothStep(float lo, float hi, float v) {
  const float t = std::clamp((v - lo) / (hi - lo), 0.0f, 1.0f);
  return t * t * (3.0f - 2.0f * t);
}

inline bool CancelRequested(const std::atomic<bool>* cancel) {
  return cancel && cancel->load(std::memory_order_relaxed);
}

// Runs body(y) for every row, rows spread over OpenCV's threads. For kernels
// whose rows do not depend on each other, so the split cannot change the
// result. cancel is polled before each row; once it is set no further row
// starts. Returns false when cancelled.
template <typename RowBody>
bool ParallelRows(int rows, const std::atomic<bool>* cancel, RowBody&& body) {
  std::atomic<bool> stopped{false};
  cv::parallel_for_(cv::Range(0, rows), [&](const cv::Range& range) {
    for (int y = range.start; y < range.end; ++y) {
      if (stopped.load(std::memory_order_relaxed)) return;
      if (CancelRequested(cancel)) {
        stopped = true;
        return;
      }
      body(y);
    }
  });
  return !stopped;
}

// The picture a kernel reads: src itself, or a copy when it shares its pixels
// with dst, since the kernels that read neighbours must not see their own
// writes.
inline cv::Mat Unaliased(const cv::Mat& src, const cv::Mat& dst) {
  if (!src.empty() && src.data == dst.data) return src.clone();
  return src;
}

}  // namespace grinsnap
