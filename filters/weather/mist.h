#pragma once

#include <atomic>

#include "filters/simple_filter.h"
#include "platform/crt_random.h"

namespace grinsnap {

// Heights of the noise field above this are water droplets on the glass.
inline constexpr float kMistDropletLevel = 0.75f;
// The droplets' slopes are the field's per-pixel differences times this,
// taken on a picture kMistSlopeReference pixels on its shorter side.
inline constexpr float kMistSlopeScale = 200.0f;
inline constexpr float kMistSlopeReference = 600.0f;
// Refraction ratio from air into the droplets.
inline constexpr float kMistRefraction = 0.75f;

// The photo src (8-bit BGR) behind misted glass, into dst (created at src's
// size): a height field from the noise field generator with `cells` cells
// across (and as many down as the aspect ratio gives) draws from the
// generator; where it is above kMistDropletLevel a droplet refracts and
// lights the sharp photo behind it, elsewhere the photo shows blurred and
// whitened by the mist. Returns false when cancel stopped it.
bool MistKernel(const cv::Mat& src, cv::Mat& dst, float cells, CrtRandom& random, const std::atomic<bool>* cancel);

// Misted glass with droplets ("MistFilter"). Block entry 0 is the number of
// noise cells across the picture: more cells, smaller and more droplets.
// Runs on the worker when the "param" element's "delay" is 1.
class CF_Mist : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "MistFilter";
  static constexpr BlockParam kCells{0, "droplet cells", 25.0f, 4.0f, 200.0f};
  static constexpr BlockParam kParams[] = {kCells};
  static constexpr FilterTraits kTraits{.seeded = true, .background = Background::WhenDelay, .params = kParams};

  CF_Mist();

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;
};

}  // namespace grinsnap
