#pragma once

#include <array>
#include <atomic>

#include "filters/simple_filter.h"
#include "platform/crt_random.h"

namespace grinsnap {

// One flake: its centre in pixels and the layer whose weights it uses.
struct SnowFlake {
  int x;
  int y;
  int layer;
};

// The flakes of three layers of counts[0], counts[1] and counts[2] flakes,
// drawn from the generator in that order, each centre as rand() * W / 32768
// then rand() * H / 32768 in integer arithmetic.
std::vector<SnowFlake> DrawSnowFlakes(CrtRandom& random, const std::array<int, 3>& counts, cv::Size size);

// Falling snow over src (8-bit BGR) into dst (created at src's size): the
// flakes of the three layers (spreads 1 / sqrt 5, 1 / sqrt 10, 1 / sqrt 50)
// in the order drawn, each a disc of radius min(W, H) x 25 / 767 (integer
// arithmetic) that brightens every channel as c = 255 - (255 - c)(1 - g),
// truncated, with g = exp(-(dx^2 + dy^2) / (r^2 x^2)). Returns false when
// cancel stopped it.
bool SnowKernel(const cv::Mat& src, cv::Mat& dst, const std::array<int, 3>& counts, CrtRandom& random,
                const std::atomic<bool>* cancel);

// Falling snow ("SnowFilter"): block entries 0, 1, 2 are the numbers of
// large, middle and small flakes.
class CF_Snow : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "SnowFilter";
  static constexpr BlockParam kLarge{0, "large flakes", 300.0f, 0.0f, 3000.0f};
  static constexpr BlockParam kMiddle{1, "middle flakes", 150.0f, 0.0f, 3000.0f};
  static constexpr BlockParam kSmall{2, "small flakes", 600.0f, 0.0f, 3000.0f};
  static constexpr BlockParam kParams[] = {kLarge, kMiddle, kSmall};
  static constexpr FilterTraits kTraits{.seeded = true, .params = kParams};

  CF_Snow();

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;
};

}  // namespace grinsnap
