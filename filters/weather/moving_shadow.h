#pragma once

#include <atomic>

#include "filters/simple_filter.h"

namespace grinsnap {

enum class ShadowType : int {
  Leaves = 0,  // sunlight through foliage: dappled shadow with bright flecks
  Blinds = 1,  // slanting bars of a venetian blind
  Clouds = 2,  // the broad soft shadows of passing clouds
};

// The photo src (8-bit BGR) under the shadows, into dst (created at src's
// size), the shadows slid by shift (fractions of the picture, at most a
// quarter either way; (0, 0) falls as drawn). The same picture every time:
// the pattern does not depend on a seed. Returns false when cancel stopped
// it.
bool MovingShadowKernel(const cv::Mat& src, cv::Mat& dst, ShadowType type, cv::Point2f shift,
                        const std::atomic<bool>* cancel);

// Moving shadows ("MovingShadowFilter"): "type" on the filter element, 0
// leaves (also any value this filter does not know), 1 blinds, 2 clouds.
// The template's point (block entries 7 and 8) slides the shadows from where
// they fall with the point in the middle.
class CF_MovingShadow : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "MovingShadowFilter";
  static constexpr FilterTraits kTraits{};

  CF_MovingShadow();

  int Load() override;
  ShadowType Type() const { return type_; }

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;

private:
  ShadowType type_ = ShadowType::Leaves;
};

}  // namespace grinsnap
