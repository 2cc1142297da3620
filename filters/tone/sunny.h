#pragma once

#include <atomic>

#include "core/sampler.h"
#include "filters/simple_filter.h"
#include "platform/crt_random.h"

namespace grinsnap {

// The random and derived tables of one sunny picture. Radii, distances and
// sizes are fractions of the picture's scale R; angles are in radians.
struct SunnyTables {
  static constexpr int kRings = 5;
  static constexpr int kSpots = 15;
  static constexpr int kNoise1Length = 400;   // glow radius noise, around the sun
  static constexpr int kNoise2Length = 1200;  // ring position noise, around the sun
  static constexpr int kColourLength = 800;   // rainbow colours, one turn
  static constexpr int kRingLength = 1200;    // ring profile over the distance 0..1

  float ringRadius[kRings] = {};
  float spotDistance[kSpots] = {};
  float spotSize[kSpots] = {};
  float beam1 = 0;  // beam angles after their random jitter
  float beam2 = 0;
  cv::Mat noise1;   // 1 x 400, CV_32F, values in [-1, 1]
  cv::Mat noise2;   // 1 x 1200, CV_32F, values in [-1, 1]
  cv::Mat colours;  // 1 x 800, CV_32FC3, B, G, R in 0..255
  cv::Mat rings;    // 1 x 1200, CV_32F, ring brightness by distance
};

// Draws the tables from the generator in their fixed order (ring radii, spot
// distances, spot sizes, beam jitter, the two noise rows), then builds the
// colour and ring rows. c places the sun along the top edge (0 left, 1 right).
SunnyTables MakeSunnyTables(CrtRandom& random, float c);

// Reads a one-row table at the fraction t of its length, with linear
// interpolation between entries centred at (i + 0.5) / length. The result is
// exactly what SampleImage gives for the same one-row image at (t, 0),
// normalised and interpolated, with the same border (only Clamp and Tile).
cv::Vec3f SampleTableRow(const cv::Mat& row, float t, SampleBorder border);

// The sun, its glow and the two beams with their rainbow rings, from src
// (8-bit BGR) into dst (created at src's size). Draws nothing from the
// generator. Returns false when cancel stopped it.
bool SunnyGlowKernel(const cv::Mat& src, cv::Mat& dst, float c, float k, const SunnyTables& tables,
                     const std::atomic<bool>* cancel);

// Blends one flare spot of the given radius and colour into img (8-bit BGR).
void DrawSunnySpot(cv::Mat& img, float px, float py, float radius, const cv::Vec3f& bgr);

// The row of flare spots along the angle beta from the sun. Returns false
// when cancel stopped it.
bool DrawSunnySpots(cv::Mat& img, float c, float k, const SunnyTables& tables, float beta,
                    const std::atomic<bool>* cancel);

// Draws the angle of the row of flare spots: the unjittered first beam
// angle plus its own random jitter.
float DrawSunnyFlareAngle(CrtRandom& random, float c);

// The whole picture: tables, glow and beams, then the flare angle and the
// spots, drawing from the generator in that order. Returns false when cancel
// stopped it (the output then holds what was drawn so far).
bool SunnyKernel(const cv::Mat& src, cv::Mat& dst, float c, float k, CrtRandom& random,
                 const std::atomic<bool>* cancel);

// A sun on the top edge with a glow, two beams carrying rainbow rings and a
// row of flare spots ("SunnyFilter"). Block entry 0 moves the sun along the
// top edge (default 0, the left corner), entry 1 scales it (default 1).
class CF_Sunny : public CF_SimpleFilter {
 public:
  static constexpr const char* kClassName = "SunnyFilter";
  static constexpr BlockParam kPosition{0, "sun position", 0.0f, 0.0f, 1.0f};
  static constexpr BlockParam kScale{1, "size", 1.0f, 0.1f, 3.0f};
  static constexpr BlockParam kParams[] = {kPosition, kScale};
  // Outputs wider or taller than 600 pixels render on the engine's worker thread.
  static constexpr FilterTraits kTraits{
      .seeded = true, .background = Background::AboveSize, .backgroundLimit = 600, .params = kParams};

  CF_Sunny();

 protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;
};

}  // namespace grinsnap
