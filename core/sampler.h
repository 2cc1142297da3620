#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

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

// The sampler for a picture whose element type T and channel count Ch are
// known where it is used: kernels that sample every pixel construct one per
// call and skip the per-tap type dispatch. SampleImage and SampleImage4 are
// built on it, so both give the same bits for the same picture and position.
// Out is the number of values returned (3 or 4); Ch = 0 takes the channel
// count from the picture. The picture must outlive the sampler and must not
// be empty.
template <typename T, int Ch, int Out>
class TypedSampler {
public:
  using Value = cv::Vec<float, Out>;

  TypedSampler(const cv::Mat& image, SampleBorder border, const cv::Scalar& constant = cv::Scalar::all(0))
      : data_(image.data), step_(image.step[0]), width_(image.cols), height_(image.rows),
        channels_(Ch ? Ch : image.channels()), border_(border) {
    CV_DbgAssert(image.depth() == cv::DataType<T>::depth && (Ch == 0 || image.channels() == Ch) && !image.empty());
    for (int c = 0; c < Out; ++c) constant_[c] = static_cast<float>(constant[c < 4 ? c : 3]);
  }

  // The value at (u, v): fractions of the size when normalised, pixels
  // otherwise; interpolated over the triangle of the cell that holds it.
  Value At(float u, float v, bool normalised = true) const {
    float x = normalised ? u * static_cast<float>(width_) - 0.5f : u - 0.5f;
    float y = normalised ? v * static_cast<float>(height_) - 0.5f : v - 0.5f;
    KeepNear(x);
    KeepNear(y);
    const float xf = std::floor(x);
    const float yf = std::floor(y);
    const int x0 = static_cast<int>(xf);
    const int y0 = static_cast<int>(yf);
    const float fx = x - xf;
    const float fy = y - yf;
    Value t00, t10, t01, result;
    // Cells wholly inside the picture read their taps directly; the others
    // go through the border rule tap by tap. Both read the same values.
    const bool inside = x0 >= 0 && y0 >= 0 && x0 + 1 < width_ && y0 + 1 < height_;
    if (inside) {
      ReadInside(x0, y0, t00);
      ReadInside(x0 + 1, y0, t10);
      ReadInside(x0, y0 + 1, t01);
    } else {
      Read(x0, y0, t00);
      Read(x0 + 1, y0, t10);
      Read(x0, y0 + 1, t01);
    }
    if (fx + fy <= 1.0f) {
      for (int c = 0; c < Out; ++c) result[c] = t00[c] + fx * (t10[c] - t00[c]) + fy * (t01[c] - t00[c]);
    } else {
      Value t11;
      if (inside)
        ReadInside(x0 + 1, y0 + 1, t11);
      else
        Read(x0 + 1, y0 + 1, t11);
      for (int c = 0; c < Out; ++c)
        result[c] = t11[c] + (1.0f - fy) * (t10[c] - t11[c]) + (1.0f - fx) * (t01[c] - t11[c]);
    }
    return result;
  }

  // The single tap at (floor(x), floor(y)), without interpolation.
  Value Nearest(float u, float v, bool normalised = true) const {
    float x = normalised ? u * static_cast<float>(width_) - 0.5f : u - 0.5f;
    float y = normalised ? v * static_cast<float>(height_) - 0.5f : v - 0.5f;
    KeepNear(x);
    KeepNear(y);
    Value out;
    Read(static_cast<int>(std::floor(x)), static_cast<int>(std::floor(y)), out);
    return out;
  }

private:
  // Positions far outside the picture (or not numbers) read as the border.
  static void KeepNear(float& v) {
    constexpr float kFar = 1.0e9f;
    if (!(std::fabs(v) < kFar)) v = v < 0 ? -kFar : kFar;
  }

  void ReadInside(int x, int y, Value& out) const {
    const int channels = Ch ? Ch : channels_;
    const T* p = reinterpret_cast<const T*>(data_ + static_cast<std::size_t>(y) * step_) +
                 static_cast<std::ptrdiff_t>(x) * channels;
    const int n = channels < Out ? channels : Out;
    for (int c = 0; c < n; ++c) out[c] = static_cast<float>(p[c]);
    for (int c = n; c < Out; ++c) out[c] = 0.0f;
  }

  void Read(int x, int y, Value& out) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) {
      switch (border_) {
        case SampleBorder::Constant:
          for (int c = 0; c < Out; ++c) out[c] = constant_[c];
          return;
        case SampleBorder::Tile:
          x = WrapCoordinate(x, width_);
          y = WrapCoordinate(y, height_);
          break;
        case SampleBorder::Clamp:
        default:
          x = std::clamp(x, 0, width_ - 1);
          y = std::clamp(y, 0, height_ - 1);
          break;
      }
    }
    ReadInside(x, y, out);
  }

  const std::uint8_t* data_;
  std::size_t step_;
  int width_;
  int height_;
  int channels_;
  SampleBorder border_;
  float constant_[Out];
};

}  // namespace grinsnap
