#include "filters/colour_circle.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace grinsnap {

cv::Mat ColourCircleRow(int length) {
  constexpr float kTwoPi = 2.0f * std::numbers::pi_v<float>;
  cv::Mat row(1, std::max(length, 1), CV_32FC3);
  float* colour = row.ptr<float>(0);
  for (int i = 0; i < row.cols; ++i, colour += 3) {
    const float a = kTwoPi * static_cast<float>(i) / static_cast<float>(row.cols);
    const float phases[3] = {a, a + kTwoPi / 3.0f, a + 2.0f * kTwoPi / 3.0f};
    for (int ch = 0; ch < 3; ++ch) colour[ch] = std::clamp(std::cos(phases[ch]) * 128.0f + 128.0f, 0.0f, 255.0f);
  }
  return row;
}

}  // namespace grinsnap
