#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace grinsnap {

// Truncates toward zero into the range of int32; NaN gives 0. Numbers from
// documents and sliders are whatever someone typed: a plain conversion of a
// value outside the range would be undefined.
inline std::int32_t SaturateToInt32(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
  if (v <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(v);
}

// A double as the nearest float that is not infinite (1e308 becomes the
// largest float); NaN stays NaN for the caller to refuse.
inline float SaturateToFloat(double v) {
  constexpr double kMax = std::numeric_limits<float>::max();
  if (v > kMax) return std::numeric_limits<float>::max();
  if (v < -kMax) return -std::numeric_limits<float>::max();
  return static_cast<float>(v);
}

}  // namespace grinsnap
