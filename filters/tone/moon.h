#pragma once

#include <atomic>

#include "filters/simple_filter.h"

namespace grinsnap {

// Where the moon of a w x h picture sits and how large it is: radius
// q = 0.05 min(w, h), centre (2q + (w - 4q) position, 2q). Position 0 puts
// it 2q from the left edge, 1 puts it 2q from the right edge.
struct MoonPlacement {
  float x = 0;
  float y = 0;
  float radius = 0;
};
MoonPlacement PlaceMoon(int width, int height, float position);

// Night scene of src (8-bit BGR) into dst (created at src's size): every
// pixel is tinted to a night blue and mixed with the moon colour by a halo
// weight that is 1 on the disc and falls off with the distance from its rim.
// Returns false when cancel stopped it.
bool MoonKernel(const cv::Mat& src, cv::Mat& dst, float position, const std::atomic<bool>* cancel);

// The night scene with a moon and halo ("MoonFilter"); block entry 0 moves
// the moon along the top edge (default 0, at the left).
class CF_Moon : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "MoonFilter";
  static constexpr BlockParam kPosition{0, "moon position", 0.0f, 0.0f, 1.0f};
  static constexpr BlockParam kParams[] = {kPosition};
  static constexpr FilterTraits kTraits{.params = kParams};

  CF_Moon();

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;
};

}  // namespace grinsnap
