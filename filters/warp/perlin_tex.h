#pragma once

#include <atomic>

#include "filters/simple_filter.h"
#include "platform/crt_random.h"

namespace grinsnap {

// How the noise meets the photo.
enum class PerlinType : int {
  Lumin = 0,  // "lumin": the noise lightens and darkens the photo
  Color = 1,  // "color": the noise's colour wheel laid over the photo
  Merge = 2,  // "merge": the photo tinted by the colour wheel
};

struct PerlinParams {
  float dense = 1.0f;    // noise cells along the shorter side
  float intense = 1.0f;  // strength of the noise
  float alpha1 = 0.5f;   // weight of the colour wheel
  float alpha2 = 0.5f;   // weight of the photo
  PerlinType type = PerlinType::Lumin;
};

// The colour of noise value n on the wheel, blue, green, red:
// 128 + 128 intense cos(2 pi n + phase), the phases 0, +2 pi / 3 and
// -2 pi / 3, each clamped to 0..255 and truncated.
cv::Vec3b PerlinColour(float n, float intense);

// A noise texture over src (8-bit BGR) into dst (created at src's size).
// The noise field (filters/warp/noise_field.h) has W dense / m by
// H dense / m cells, m = min(W, H), and draws from the generator. With n
// the noise value and C its colour:
//   lumin: each channel + 255 intense (n - 0.5);
//   color: alpha1 C + alpha2 x the photo;
//   merge: the photo x (alpha2 + alpha1 C / 128) (C = 128 leaves it as it is
//          when the two weights add up to 1);
// each clamped to 0..255 and truncated. Returns false when cancel stopped it.
bool PerlinTexKernel(const cv::Mat& src, cv::Mat& dst, const PerlinParams& params, CrtRandom& random,
                     const std::atomic<bool>* cancel);

// Noise textures ("PerlinTexFilter"). On the filter element: "dense",
// "intense", "alpha1", "alpha2" (numbers) and "type" ("lumin", "color" or
// "merge"; another name keeps "lumin").
class CF_PerlinTex : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "PerlinTexFilter";
  static constexpr FilterTraits kTraits{.seeded = true};

  CF_PerlinTex();

  int Load() override;
  const PerlinParams& Params() const { return params_; }

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;

private:
  PerlinParams params_;
};

}  // namespace grinsnap
