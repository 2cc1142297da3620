#pragma once

#include <atomic>

#include "filters/simple_filter.h"
#include "platform/crt_random.h"

namespace grinsnap {

enum class WaterType : int {
  Reflection = 0,  // the upper part of the photo mirrored in rippled water below it
  Pool = 1,        // the photo at the bottom of a pool, under moving water and its caustics
};

// Where the water begins in the reflection, as a fraction of the height.
inline constexpr float kWaterHorizon = 0.6f;

// The photo src (8-bit BGR) with water, into dst (created at src's size);
// the ripples draw from the generator. Returns false when cancel stopped it.
bool WaterKernel(const cv::Mat& src, cv::Mat& dst, WaterType type, CrtRandom& random,
                 const std::atomic<bool>* cancel);

// Water ("WaterFilter"): "type" on the filter element, 0 for the reflection
// (also any value this filter does not know) or 1 for the pool. Always runs
// on the worker.
class CF_Water : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "WaterFilter";
  static constexpr FilterTraits kTraits{.seeded = true, .background = Background::Always};

  CF_Water();

  int Load() override;
  WaterType Type() const { return type_; }

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;

private:
  WaterType type_ = WaterType::Reflection;
};

}  // namespace grinsnap
