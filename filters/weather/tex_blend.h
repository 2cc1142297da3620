#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "filters/simple_filter.h"
#include "platform/crt_random.h"

namespace grinsnap {

// How a particle meets the photo.
enum class TexBlendMode : int {
  Argb = 0,  // "argb": laid over the photo through the texture's alpha
  Rgb = 1,   // "rgb": the texture's light added to the photo (black adds nothing)
};

struct TexBlendSettings {
  TexBlendMode mode = TexBlendMode::Argb;
  // Height over width of a particle, times the texture's own.
  float aspect = 1.0f;
  int particles = 40;
  // A particle's width, as a fraction of the picture's shorter side.
  float minScale = 0.04f;
  float maxScale = 0.14f;
};

// The most particles a picture takes: each is kept until the picture is
// drawn, and far fewer already cover it.
inline constexpr int kMostParticles = 100000;

// One particle: its centre (pixels), width (pixels), turn (radians) and
// opacity.
struct Particle {
  float x, y, width, angle, opacity;
};

// The particles of a size picture, five draws each in the order x, y, size,
// turn, opacity, then ordered from the smallest (farthest) to the largest.
std::vector<Particle> DrawParticles(CrtRandom& random, const TexBlendSettings& settings, cv::Size size);

// The particles of texture (8-bit BGRA for Argb, BGR or BGRA for Rgb) over
// src (8-bit BGR), into dst (created at src's size). Returns false when
// cancel stopped it.
bool TexBlendKernel(const cv::Mat& src, cv::Mat& dst, const cv::Mat& texture, const TexBlendSettings& settings,
                    CrtRandom& random, const std::atomic<bool>* cancel);

// Particles blended from a texture ("TexBlendFilter"). "param" holds
// "image" (the particle picture, relative to the document; a soap bubble
// when not named), "color_mode" ("argb" or "rgb"), "aspect", "particle" (how
// many), "min_scale" and "max_scale". A named picture that cannot be read
// makes the render fail with its path.
class CF_TexBlend : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "TexBlendFilter";
  static constexpr FilterTraits kTraits{.seeded = true};

  CF_TexBlend();
  ~CF_TexBlend() override;

  int Load() override;
  const TexBlendSettings& Settings() const { return settings_; }

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;

private:
  TexBlendSettings settings_;
  cv::Mat texture_;
  std::string missing_;
};

}  // namespace grinsnap
