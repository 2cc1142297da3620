#pragma once

#include <opencv2/core.hpp>

namespace grinsnap {

// What a tap outside the image reads.
enum class SampleBorder : int {
  Clamp = 0,     // the nearest edge pixel
  Constant = 1,  // a constant colour given with the call
  Tile = 2,      // wrap around
};

struct SampleOptions {
  bool normalised = true;    // u, v are fractions of the width and height
  bool interpolated = true;  // triangle interpolation; off reads one tap
  SampleBorder border = SampleBorder::Clamp;
  cv::Scalar constant = cv::Scalar::all(0);  // colour for SampleBorder::Constant
};

// Reduces a coordinate into 0 .. size - 1 by wrapping around (tiled borders).
inline int WrapCoordinate(int v, int size) {
  const int r = v % size;
  return r < 0 ? r + size : r;
}

// Reads an image of any depth at a real position. Pixel centres lie at
// half-integers: the grid is sampled at x = u - 0.5 (or u * width - 0.5 when
// normalised). The pixel cell is split along its diagonal from (x0 + 1, y0)
// to (x0, y0 + 1) and the value is interpolated linearly over the triangle
// that holds the point. At most the first three channels are read; missing
// channels read as 0. The result is in the image's own scale.
cv::Vec3f SampleImage(const cv::Mat& image, float u, float v, const SampleOptions& options);

// The same with up to four channels (the fourth is a texture's alpha).
cv::Vec4f SampleImage4(const cv::Mat& image, float u, float v, const SampleOptions& options);

}  // namespace grinsnap
