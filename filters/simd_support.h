#pragma once

#include <opencv2/core/hal/intrin.hpp>

namespace grinsnap {

#if CV_SIMD128
// Widens 16 bytes to four vectors of 32-bit integers, in order.
inline void WidenBytes(const cv::v_uint8x16& v, cv::v_int32x4 out[4]) {
  cv::v_uint16x8 lo, hi;
  cv::v_expand(v, lo, hi);
  cv::v_uint32x4 a, b, c, d;
  cv::v_expand(lo, a, b);
  cv::v_expand(hi, c, d);
  out[0] = cv::v_reinterpret_as_s32(a);
  out[1] = cv::v_reinterpret_as_s32(b);
  out[2] = cv::v_reinterpret_as_s32(c);
  out[3] = cv::v_reinterpret_as_s32(d);
}

// Truncates four vectors of floats toward zero and packs them into 16 bytes,
// saturating at 0 and 255 (NaN gives 0).
inline cv::v_uint8x16 TruncateToBytes(const cv::v_float32x4 f[4]) {
  return cv::v_pack_u(cv::v_pack(cv::v_trunc(f[0]), cv::v_trunc(f[1])),
                      cv::v_pack(cv::v_trunc(f[2]), cv::v_trunc(f[3])));
}
#endif

}  // namespace grinsnap
