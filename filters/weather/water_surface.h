#pragma once

// A height map seen as a water surface over a photo: the normal at each
// pixel comes from the differences to its right and lower neighbours, the
// photo is read where the refracted ray meets it, and the surface is lit
// from above with a sharp specular glint. The random waves and the pool of
// the water filter share it; each makes its own height map.

#include <atomic>

#include <opencv2/core.hpp>

namespace grinsnap {

struct WaterSurfaceLight {
  // Vertical component of the unnormalised normal (-dh/dx, -dh/dy, vertical)
  // when the height map's differences are taken per pixel: smaller values
  // make a steeper, livelier surface.
  float vertical = 0.2f;
  // Refraction ratio from air into water (0.75 for water); 0 reads the photo
  // straight below each pixel.
  float refraction = 0.75f;
  // The photo lies this many pixels below a surface of height 1; the shift
  // of the refracted ray grows with the height at the pixel.
  float depth = 100.0f;
  // Direction towards the light (normalised by the kernel).
  cv::Vec3f light{0.2f, 0.2f, 1.0f};
  // specular = glint x (n . L)^100.
  float glint = 70.0f;
};

// For every pixel of dst (created at src's size; src is 8-bit BGR, height
// one-channel float of the same size): with n the unit normal and L the
// unit light direction, each channel = glint (n . L)^100 + (n . L) x the
// photo at the refracted position (bilinear, clamped to the picture),
// clamped to 0..255 and truncated. Rows are independent and run in
// parallel. Returns false when cancel stopped it.
bool ShadeWaterSurface(const cv::Mat& src, const cv::Mat& height, cv::Mat& dst, const WaterSurfaceLight& light,
                       const std::atomic<bool>* cancel);

// The hundredth power by squaring in double precision (d^64 d^32 d^4).
inline double Power100(double d) {
  const double d2 = d * d, d4 = d2 * d2, d8 = d4 * d4, d16 = d8 * d8, d32 = d16 * d16, d64 = d32 * d32;
  return d64 * d32 * d4;
}

}  // namespace grinsnap
