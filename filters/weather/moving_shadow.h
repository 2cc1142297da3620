#pragma once

#include <atomic>

#include "filters/simple_filter.h"

namespace grinsnap {

enum class ShadowType : int {
  Leaves = 0,  // sunlight through foliage: dappled shadow with bright flecks
  Blinds = 1,  // slanting bars of a venetian blind
  Clouds = 2,  // the broad soft shadows of passing clouds
};

// How much shadow falls on the pixel at (x, y) of a picture of size, 0 to
// 1; the pattern's noise (for leaves and clouds; for clouds measured in
// its spread from its mean) is given as field, one-channel float of size.
float ShadowAt(ShadowType type, const cv::Mat& field, int x, int y, cv::Size size);

// The photo src (8-bit BGR) under the shadows, into dst (created at src's
// size). The same picture every time: the pattern does not depend on a seed.
// Returns false when cancel stopped it.
bool MovingShadowKernel(const cv::Mat& src, cv::Mat& dst, ShadowType type, const std::atomic<bool>* cancel);

// Moving shadows ("MovingShadowFilter"): "type" on the filter element, 0
// leaves (also any value this filter does not know), 1 blinds, 2 clouds.
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
