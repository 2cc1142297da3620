#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include <opencv2/core.hpp>
#include <opencv2/core/hal/intrin.hpp>

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
  // Most taps lie within a few tiles of the picture; the division is left
  // for the rest.
  if (v >= 0) {
    if (v < size) return v;
    if (v < 4 * size) {
      do v -= size;
      while (v >= size);
      return v;
    }
  } else if (v >= -4 * size) {
    do v += size;
    while (v < 0);
    return v;
  }
  const int r = v % size;
  return r < 0 ? r + size : r;
}

// floor(v) for |v| below 2^31 (the sampler keeps positions within 1e9), as
// a float: the same value as std::floor without a library call.
inline float FloorWithinInt(float v) {
  const float t = static_cast<float>(static_cast<int>(v));
  return t > v ? t - 1.0f : t;
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
    const Cell cell = Locate(u, v, normalised);
#if CV_SIMD128
    if constexpr (kBgr8) {
      if (!cell.perTap) {
        float lanes[4];
        cv::v_store(lanes, InterpolateBgr8(cell));
        return Value(lanes[0], lanes[1], lanes[2]);
      }
    }
#endif
    Value t00, t10, t01, result;
    if (cell.perTap) {
      Read(cell.x0, cell.y0, t00);
      Read(cell.x0 + 1, cell.y0, t10);
      Read(cell.x0, cell.y0 + 1, t01);
    } else {
      ReadInside(cell.xa, cell.ya, t00);
      ReadInside(cell.xb, cell.ya, t10);
      ReadInside(cell.xa, cell.yb, t01);
    }
    const float fx = cell.fx, fy = cell.fy;
    if (fx + fy <= 1.0f) {
      for (int c = 0; c < Out; ++c) result[c] = t00[c] + fx * (t10[c] - t00[c]) + fy * (t01[c] - t00[c]);
    } else {
      Value t11;
      if (cell.perTap)
        Read(cell.x0 + 1, cell.y0 + 1, t11);
      else
        ReadInside(cell.xb, cell.yb, t11);
      for (int c = 0; c < Out; ++c)
        result[c] = t11[c] + (1.0f - fy) * (t10[c] - t11[c]) + (1.0f - fx) * (t01[c] - t11[c]);
    }
    return result;
  }

#if CV_SIMD128
  // For 8-bit three-channel pictures: At's three values in the first lanes
  // of a vector (the fourth lane is not a colour), for kernels that store
  // them with vector instructions.
  cv::v_float32x4 AtLanes(float u, float v, bool normalised = true) const
    requires(std::is_same_v<T, std::uint8_t> && Ch == 3 && Out == 3)
  {
    const Cell cell = Locate(u, v, normalised);
    if (!cell.perTap) return InterpolateBgr8(cell);
    const Value value = At(u, v, normalised);
    return cv::v_float32x4(value[0], value[1], value[2], 0.0f);
  }
#endif

  // Asks the memory for the two rows around (u, v) (normalised), for a
  // caller that samples many scattered positions: a hint only, read nothing.
  void Prefetch(float u, float v) const {
    float x = u * static_cast<float>(width_);
    float y = v * static_cast<float>(height_) - 0.5f;
    KeepNear(x);
    KeepNear(y);
    int column = static_cast<int>(x), row = static_cast<int>(y);
    if (border_ == SampleBorder::Tile) {
      column = WrapCoordinate(column, width_);
      row = WrapCoordinate(row, height_);
    } else {
      column = std::clamp(column, 0, width_ - 1);
      row = std::clamp(row, 0, height_ - 1);
    }
    const std::uint8_t* p = data_ + static_cast<std::size_t>(row) * step_ + static_cast<std::size_t>(column) * sizeof(T) * channels_;
    __builtin_prefetch(p);
    if (row + 1 < height_) __builtin_prefetch(p + step_);
  }

  // The single tap at (floor(x), floor(y)), without interpolation.
  Value Nearest(float u, float v, bool normalised = true) const {
    float x = normalised ? u * static_cast<float>(width_) - 0.5f : u - 0.5f;
    float y = normalised ? v * static_cast<float>(height_) - 0.5f : v - 0.5f;
    KeepNear(x);
    KeepNear(y);
    Value out;
    Read(static_cast<int>(FloorWithinInt(x)), static_cast<int>(FloorWithinInt(y)), out);
    return out;
  }

private:
  // Positions far outside the picture (or not numbers) read as the border.
  static void KeepNear(float& v) {
    constexpr float kFar = 1.0e9f;
    if (!(std::fabs(v) < kFar)) v = v < 0 ? -kFar : kFar;
  }

  static constexpr bool kBgr8 = std::is_same_v<T, std::uint8_t> && Ch == 3 && Out == 3;

  // Where a position falls: the cell's corner (x0, y0), the fractions
  // within it, and the columns and rows of its taps after the border rule.
  struct Cell {
    int x0, y0, xa, xb, ya, yb;
    float fx, fy;
    bool perTap;  // a constant border outside the picture: decided tap by tap
  };

  Cell Locate(float u, float v, bool normalised) const {
    float x = normalised ? u * static_cast<float>(width_) - 0.5f : u - 0.5f;
    float y = normalised ? v * static_cast<float>(height_) - 0.5f : v - 0.5f;
    KeepNear(x);
    KeepNear(y);
    const float xf = FloorWithinInt(x);
    const float yf = FloorWithinInt(y);
    Cell cell;
    cell.x0 = static_cast<int>(xf);
    cell.y0 = static_cast<int>(yf);
    cell.fx = x - xf;
    cell.fy = y - yf;
    // Cells wholly inside the picture read their taps directly; clamped and
    // tiled borders move each coordinate once (the wrap of x0 + 1 is the
    // wrap of x0 plus one, modulo the width); a constant border decides tap
    // by tap. All read the same values.
    cell.xa = cell.x0, cell.xb = cell.x0 + 1, cell.ya = cell.y0, cell.yb = cell.y0 + 1;
    const bool inside = cell.x0 >= 0 && cell.y0 >= 0 && cell.x0 + 1 < width_ && cell.y0 + 1 < height_;
    cell.perTap = !inside && border_ == SampleBorder::Constant;
    if (!inside && !cell.perTap) {
      if (border_ == SampleBorder::Tile) {
        cell.xa = WrapCoordinate(cell.x0, width_);
        cell.xb = cell.xa + 1 == width_ ? 0 : cell.xa + 1;
        cell.ya = WrapCoordinate(cell.y0, height_);
        cell.yb = cell.ya + 1 == height_ ? 0 : cell.ya + 1;
      } else {
        cell.xa = std::clamp(cell.x0, 0, width_ - 1);
        cell.xb = std::clamp(cell.x0 + 1, 0, width_ - 1);
        cell.ya = std::clamp(cell.y0, 0, height_ - 1);
        cell.yb = std::clamp(cell.y0 + 1, 0, height_ - 1);
      }
    }
    return cell;
  }

#if CV_SIMD128
  // Bytes to lanes: the first four bytes of v as four floats.
  static cv::v_float32x4 FirstFourBytes(const cv::v_uint8x16& v) {
    cv::v_uint16x8 words, unused16;
    cv::v_expand(v, words, unused16);
    cv::v_uint32x4 lanes, unused32;
    cv::v_expand(words, lanes, unused32);
    return cv::v_cvt_f32(cv::v_reinterpret_as_s32(lanes));
  }

  const std::uint8_t* PixelAt(int x, int y) const {
    return data_ + static_cast<std::size_t>(y) * step_ + static_cast<std::size_t>(x) * 3;
  }

  // The three channels of an 8-bit pixel in the first three lanes; the
  // fourth lane holds whatever follows and is never used. Four bytes are
  // read where the pixel has a neighbour to its right in its row; the last
  // pixel of a row is read byte by byte, so nothing beyond the picture is
  // touched.
  cv::v_float32x4 TapBgr8(int x, int y) const {
    const std::uint8_t* p = PixelAt(x, y);
    std::uint32_t bits;
    if (x + 1 < width_)
      std::memcpy(&bits, p, 4);
    else
      bits = static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
             static_cast<std::uint32_t>(p[2]) << 16;
    return FirstFourBytes(cv::v_reinterpret_as_u8(cv::v_setall_u32(bits)));
  }

  // Two neighbouring pixels of a row with one read of eight bytes, when
  // they lie within the row.
  void PairBgr8(int x, int y, cv::v_float32x4& left, cv::v_float32x4& right) const {
    const cv::v_uint8x16 bytes = cv::v_load_low(PixelAt(x, y));
    left = FirstFourBytes(bytes);
    right = FirstFourBytes(cv::v_rotate_right<3>(bytes));
  }

  // The triangle interpolation of the scalar path, lane by lane: the same
  // operations in the same order, so the same bits.
  cv::v_float32x4 InterpolateBgr8(const Cell& cell) const {
    cv::v_float32x4 t00, t10, t01, t11;
    const bool upper = cell.fx + cell.fy <= 1.0f;
    if (cell.xb == cell.xa + 1 && cell.xa + 3 <= width_) {
      PairBgr8(cell.xa, cell.ya, t00, t10);
      if (upper)
        t01 = TapBgr8(cell.xa, cell.yb);
      else
        PairBgr8(cell.xa, cell.yb, t01, t11);
    } else {
      t00 = TapBgr8(cell.xa, cell.ya);
      t10 = TapBgr8(cell.xb, cell.ya);
      t01 = TapBgr8(cell.xa, cell.yb);
      if (!upper) t11 = TapBgr8(cell.xb, cell.yb);
    }
    if (upper) return t00 + cv::v_setall_f32(cell.fx) * (t10 - t00) + cv::v_setall_f32(cell.fy) * (t01 - t00);
    return t11 + cv::v_setall_f32(1.0f - cell.fy) * (t10 - t11) + cv::v_setall_f32(1.0f - cell.fx) * (t01 - t11);
  }
#endif

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
