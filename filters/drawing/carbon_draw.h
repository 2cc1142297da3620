#pragma once

#include <atomic>
#include <cstdint>

#include "filters/simple_filter.h"

namespace grinsnap {

// A charcoal drawing of src (8-bit BGR) into dst (its size), its strokes
// drawn from the generator seeded by seed. pressure (about 0.3 to 2) darkens
// the tones the strokes build up; smudge (0 to 1) is how much rubbed-in
// charcoal lies under them. Returns false when cancel stopped it.
bool CarbonDrawKernel(const cv::Mat& src, cv::Mat& dst, float pressure, float smudge, std::uint32_t seed,
                      const std::atomic<bool>* cancel);

// The charcoal drawing ("CarbonDrawFilter"): block entry 0 is the pressure
// (default 1.1), entry 1 the smudge (default 0.3).
class CF_CarbonDraw : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "CarbonDrawFilter";
  static constexpr BlockParam kPressure{0, "pressure", 1.1f, 0.3f, 2.0f};
  static constexpr BlockParam kSmudge{1, "smudge", 0.3f, 0.0f, 1.0f};
  static constexpr BlockParam kParams[] = {kPressure, kSmudge};
  static constexpr FilterTraits kTraits{.seeded = true, .params = kParams};

  CF_CarbonDraw();

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;
};

}  // namespace grinsnap
