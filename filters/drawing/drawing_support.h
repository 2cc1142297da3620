#pragma once

// Pieces the drawing and painting kernels share: the grey picture with its
// summed tables, deterministic value noise for paper and grain, removal of
// brush offsets at random positions, and a rasteriser for textured strokes
// that runs in bands of rows without changing the picture.

#include <atomic>
#include <cmath>
#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "filters/kernel_support.h"
#include "platform/crt_random.h"

namespace grinsnap {

// A grey picture (standard BGR-to-grey conversion) and its summed tables in
// 64-bit floats, one row and one column larger than the picture: entry
// (y, x) is the sum (and the sum of squares) over the rows before y and the
// columns before x. Every entry is an integer below 2^53, so the tables and
// every box sum taken from them are exact.
struct GreyTables {
  cv::Mat grey;   // CV_8UC1
  cv::Mat sum;    // CV_64FC1
  cv::Mat sqsum;  // CV_64FC1

  void Build(const cv::Mat& bgr);
};

// Mean and mean of squares over a box of a table: rows y0 .. y1 - 1 and
// columns x0 .. x1 - 1, given the table rows y0 (top) and y1 (bottom).
inline double TableBoxSum(const double* top, const double* bottom, int x0, int x1) {
  return bottom[x1] - bottom[x0] - top[x1] + top[x0];
}

// A well-mixed 32-bit hash of a lattice point, for noise that is the same on
// every run and every thread count without drawing from a generator.
inline std::uint32_t LatticeHash(int x, int y, std::uint32_t salt) {
  std::uint32_t h = static_cast<std::uint32_t>(x) * 0x8da6b343u ^ static_cast<std::uint32_t>(y) * 0xd8163841u ^
                    salt * 0xcb1ab31fu;
  h ^= h >> 16;
  h *= 0x7feb352du;
  h ^= h >> 15;
  h *= 0x846ca68bu;
  h ^= h >> 16;
  return h;
}

// The hash as a value in [0, 1).
inline float LatticeValue(int x, int y, std::uint32_t salt) {
  return static_cast<float>(LatticeHash(x, y, salt) >> 8) * (1.0f / 16777216.0f);
}

// Value noise: lattice values every `cell` pixels, blended with a smooth
// step, in [0, 1). With periods > 0 (in cells, across and down; down takes
// the period across when left at -1) the lattice wraps around, so a picture
// of period x cell pixels tiles without a seam.
float ValueNoise(float x, float y, float cell, std::uint32_t salt, int period = 0, int periodY = -1);

// Sum of octaves of value noise, each half the cell and `gain` times the
// weight of the one before, normalised to [0, 1).
float FractalNoise(float x, float y, float cell, int octaves, float gain, std::uint32_t salt, int period = 0,
                   int periodY = -1);

// A one-channel float picture of fractal noise.
cv::Mat NoisePlane(cv::Size size, float cell, int octaves, float gain, std::uint32_t salt, int period = 0);

// Picks items out of a list of n by their index among those still left, in
// O(log n) each, as erasing from a vector would but without its O(n) cost:
// thinning a large brush must not take quadratic time.
class OrderedPicker {
public:
  explicit OrderedPicker(std::size_t n);

  std::size_t Left() const { return left_; }
  // Removes the k-th (from 0) item still left and returns its first index.
  std::size_t Take(std::size_t k);
  bool Taken(std::size_t i) const { return taken_[i] != 0; }

private:
  std::vector<std::uint32_t> tree_;  // Fenwick tree of the items left
  std::vector<std::uint8_t> taken_;
  std::size_t left_ = 0;
  std::size_t top_ = 1;  // highest power of two not above n
};

// The index rand() x length / 32768 (integer arithmetic) into a list of the
// given length, the draw the brushes are thinned with.
inline std::size_t RandomIndex(CrtRandom& random, std::size_t length) {
  return static_cast<std::size_t>(static_cast<std::uint64_t>(random.Next()) * length / 32768u);
}

// The white of the painters' empty canvas.
inline bool IsPureWhite(const std::uint8_t* p) { return p[0] == 255 && p[1] == 255 && p[2] == 255; }

// A stroke's centre line: up to kMaxPoints points, drawn with a width.
struct StrokePath {
  static constexpr int kMaxPoints = 24;
  cv::Point2f points[kMaxPoints];
  int count = 0;
  float halfWidth = 1.0f;

  void Add(cv::Point2f p) {
    if (count < kMaxPoints) points[count++] = p;
  }
  // Rows and columns the stroke may touch, widened by its half width and one
  // pixel for the soft rim.
  cv::Rect2f Bounds() const;
};

// Where a pixel lies on a stroke: u runs from 0 at the first point to 1 at
// the last along the line, v from -1 on one side to 1 on the other, and
// coverage is how much of the pixel the stroke covers (its rim is soft).
struct StrokeSample {
  float u;
  float v;
  float coverage;
};

// Rasterises stroke paths in bands of rows: every pixel belongs to one band,
// and within a band the strokes are drawn in their order, so the picture is
// the same as a sequential drawing on any number of threads. plot(i, x, y,
// sample) is called for every pixel of stroke i that the stroke reaches.
// Returns false when cancel stopped it (polled once per band).
template <typename Plot>
bool RasterizeStrokes(const std::vector<StrokePath>& strokes, cv::Size size, const std::atomic<bool>* cancel,
                      Plot&& plot);

// A sampling coordinate clamped into 0 .. high; NaN reads as 0.
inline float ClampCoordinate(float v, float high) {
  if (!(v > 0.0f)) return 0.0f;
  return v < high ? v : high;
}

// A one-channel float texture in [0, 1], read with bilinear interpolation at
// fractions (u, v) of its width and height, clamped at the edges.
class TextureSampler {
public:
  TextureSampler() = default;
  explicit TextureSampler(const cv::Mat& texture);

  bool Empty() const { return texture_.empty(); }
  float At(float u, float v) const {
    const int w = texture_.cols, h = texture_.rows;
    const float x = ClampCoordinate(u * static_cast<float>(w) - 0.5f, static_cast<float>(w - 1));
    const float y = ClampCoordinate(v * static_cast<float>(h) - 0.5f, static_cast<float>(h - 1));
    const int x0 = static_cast<int>(x), y0 = static_cast<int>(y);
    const int x1 = std::min(x0 + 1, w - 1), y1 = std::min(y0 + 1, h - 1);
    const float fx = x - static_cast<float>(x0), fy = y - static_cast<float>(y0);
    const float* r0 = reinterpret_cast<const float*>(texture_.data + texture_.step[0] * y0);
    const float* r1 = reinterpret_cast<const float*>(texture_.data + texture_.step[0] * y1);
    const float top = r0[x0] + (r0[x1] - r0[x0]) * fx;
    const float bottom = r1[x0] + (r1[x1] - r1[x0]) * fx;
    return top + (bottom - top) * fy;
  }

private:
  cv::Mat texture_;  // CV_32FC1
};

// Reads an 8-bit picture of any channel count as a float texture in [0, 1]
// (grey from colour).
cv::Mat ToGreyTexture(const cv::Mat& picture);

// Tiles a texture over a picture of the given size at the given scale
// (texture pixels per picture pixel), bilinear, as a float plane.
cv::Mat TileTexture(const cv::Mat& texture, cv::Size size, float scale);

// A tile of paper tooth (two octaves of value noise, cells of 8 and 4 of
// its pixels, in [0, 1)), made once: tiled over a picture it costs a
// lookup per pixel where noise would cost a dozen hashes.
const cv::Mat& ToothTile();
inline constexpr float kToothTileCell = 8.0f;

// The direction along the strokes of an image (perpendicular to its
// gradient) from the smoothed structure tensor of a grey float plane: cos
// and sin of the angle, and how clearly one direction wins (0 to 1, low
// where the gradient is too weak to mean a direction).
struct StrokeField {
  cv::Mat cosine;     // CV_32FC1
  cv::Mat sine;       // CV_32FC1
  cv::Mat coherence;  // CV_32FC1
};
StrokeField MakeStrokeField(const cv::Mat& grey, float sigma);

// Reads a float plane at a real position, bilinear, clamped.
float SamplePlane(const cv::Mat& plane, float x, float y);

// A stroke that sets out from start along heading and takes `steps` steps
// of `step` pixels, turning towards the field's direction by `follow` (0
// keeps it straight, 1 follows the field) at each step; the field has no
// sign, so the stroke keeps going the way it went. The field is read at
// picture positions times fieldScale.
StrokePath TraceStroke(const StrokeField& field, float fieldScale, cv::Point2f start, cv::Point2f heading, float step,
                       int steps, float follow, float halfWidth);

// --- template implementation ---

namespace drawing_detail {

// Distance from p to the polyline and the arc length of its nearest point,
// over the segments whose bits are set in `segments` (bit i for the segment
// from point i; a one-point path has none).
struct Nearest {
  float distance;
  float arc;
  float side;  // sign of the cross product: which side of the line
};

inline Nearest NearestOnPath(const StrokePath& path, const float* lengths, const float* starts, std::uint32_t segments,
                             float x, float y) {
  if (path.count == 1) {
    const float dx = x - path.points[0].x, dy = y - path.points[0].y;
    return {std::sqrt(dx * dx + dy * dy), 0.0f, 1.0f};
  }
  float best = 1e30f, bestArc = 0.0f, bestCross = 1.0f;
  for (; segments; segments &= segments - 1) {
    const int i = __builtin_ctz(segments);
    const cv::Point2f a = path.points[i], b = path.points[i + 1];
    const float ex = b.x - a.x, ey = b.y - a.y;
    const float len = lengths[i];
    const float rx = x - a.x, ry = y - a.y;
    float t = 0.0f;
    if (len > 1e-6f) t = std::clamp((rx * ex + ry * ey) / (len * len), 0.0f, 1.0f);
    const float px = rx - t * ex, py = ry - t * ey;
    const float d2 = px * px + py * py;
    if (d2 < best) {
      best = d2;
      bestArc = starts[i] + t * len;
      bestCross = ex * ry - ey * rx;
    }
  }
  return {std::sqrt(best), bestArc, bestCross < 0 ? -1.0f : 1.0f};
}

// The columns of row centre yc that lie within r of the path: an interval
// that holds them (the union of each segment's, so a bent path may get a
// little more); false when no column is near.
inline bool RowSpan(const StrokePath& path, const float* lengths, float yc, float r, float& lo, float& hi,
                    std::uint32_t& segments) {
  lo = 1e30f, hi = -1e30f;
  segments = 0;
  auto widen = [&](float a, float b) {
    lo = std::min(lo, a);
    hi = std::max(hi, b);
  };
  auto disc = [&](cv::Point2f c) {
    const float dy = yc - c.y;
    if (std::fabs(dy) > r) return;
    const float dx = std::sqrt(r * r - dy * dy);
    widen(c.x - dx, c.x + dx);
  };
  if (path.count == 1) disc(path.points[0]);
  for (int i = 0; i + 1 < path.count; ++i) {
    const cv::Point2f a = path.points[i], b = path.points[i + 1];
    // Most segments of a long stroke lie above or below the row.
    if (yc < std::min(a.y, b.y) - r || yc > std::max(a.y, b.y) + r) continue;
    const float ex = b.x - a.x, ey = b.y - a.y, len = lengths[i];
    if (len < 1e-4f) {
      disc(a);
      if (std::fabs(yc - a.y) <= r) segments |= 1u << i;
      continue;
    }
    const float dy = yc - a.y;
    // Within r of the line: |ex dy - ey (x - ax)| <= r len.
    float bandLo = -1e30f, bandHi = 1e30f;
    if (std::fabs(ey) > 1e-6f) {
      const float p = a.x + (ex * dy - r * len) / ey, q = a.x + (ex * dy + r * len) / ey;
      bandLo = std::min(p, q), bandHi = std::max(p, q);
    } else if (std::fabs(ex * dy) > r * len) {
      continue;
    }
    // Between the two ends, widened by r: -r len <= (x - ax) ex + dy ey <= len^2 + r len.
    float slabLo = -1e30f, slabHi = 1e30f;
    if (std::fabs(ex) > 1e-6f) {
      const float p = a.x + (-r * len - dy * ey) / ex, q = a.x + (len * len + r * len - dy * ey) / ex;
      slabLo = std::min(p, q), slabHi = std::max(p, q);
    } else if (dy * ey < -r * len || dy * ey > len * len + r * len) {
      continue;
    }
    const float from = std::max(bandLo, slabLo), to = std::min(bandHi, slabHi);
    if (from <= to) {
      widen(from, to);
      segments |= 1u << i;
    }
  }
  return lo <= hi;
}

}  // namespace drawing_detail

template <typename Plot>
bool RasterizeStrokes(const std::vector<StrokePath>& strokes, cv::Size size, const std::atomic<bool>* cancel,
                      Plot&& plot) {
  if (size.width <= 0 || size.height <= 0 || strokes.empty()) return !CancelRequested(cancel);
  // Bands of a fixed height, so that nothing depends on how many threads
  // take them; each band keeps the strokes that reach it, in their order.
  constexpr int kBandRows = 16;
  const int bands = (size.height + kBandRows - 1) / kBandRows;
  std::vector<std::vector<std::uint32_t>> inBand(static_cast<std::size_t>(bands));
  std::vector<cv::Rect> boxes(strokes.size());
  const cv::Rect picture(0, 0, size.width, size.height);
  for (std::size_t i = 0; i < strokes.size(); ++i) {
    const cv::Rect2f b = strokes[i].Bounds();
    const cv::Rect box = cv::Rect(static_cast<int>(std::floor(b.x)), static_cast<int>(std::floor(b.y)),
                                  static_cast<int>(std::ceil(b.width)) + 2, static_cast<int>(std::ceil(b.height)) + 2) &
                         picture;
    boxes[i] = box;
    if (box.empty()) continue;
    for (int band = box.y / kBandRows; band <= (box.y + box.height - 1) / kBandRows; ++band)
      inBand[static_cast<std::size_t>(band)].push_back(static_cast<std::uint32_t>(i));
  }
  return ParallelRows(bands, cancel, [&](int band) {
    const int rowBegin = band * kBandRows, rowEnd = std::min(rowBegin + kBandRows, size.height);
    float lengths[StrokePath::kMaxPoints], starts[StrokePath::kMaxPoints];
    for (std::uint32_t i : inBand[static_cast<std::size_t>(band)]) {
      const StrokePath& path = strokes[i];
      float total = 0.0f;
      for (int k = 0; k + 1 < path.count; ++k) {
        const float dx = path.points[k + 1].x - path.points[k].x, dy = path.points[k + 1].y - path.points[k].y;
        lengths[k] = std::sqrt(dx * dx + dy * dy);
        starts[k] = total;
        total += lengths[k];
      }
      const float half = path.halfWidth;
      const float invTotal = total > 1e-6f ? 1.0f / total : 0.0f;
      const cv::Rect& box = boxes[i];
      const int y0 = std::max(box.y, rowBegin), y1 = std::min(box.y + box.height, rowEnd);
      for (int y = y0; y < y1; ++y) {
        float lo, hi;
        std::uint32_t segments;
        if (!drawing_detail::RowSpan(path, lengths, static_cast<float>(y) + 0.5f, half + 1.0f, lo, hi, segments))
          continue;
        const int x0 = std::max(box.x, static_cast<int>(std::floor(std::max(lo, -1e8f))));
        const int x1 = std::min(box.x + box.width, static_cast<int>(std::ceil(std::min(hi, 1e8f))) + 1);
        for (int x = x0; x < x1; ++x) {
          const drawing_detail::Nearest n = drawing_detail::NearestOnPath(
              path, lengths, starts, segments, static_cast<float>(x) + 0.5f, static_cast<float>(y) + 0.5f);
          const float coverage = std::min(half + 0.5f - n.distance, 1.0f);
          if (coverage <= 0.0f) continue;
          const float v = half > 0.0f ? std::clamp(n.side * n.distance / half, -1.0f, 1.0f) : 0.0f;
          plot(i, x, y, StrokeSample{n.arc * invTotal, v, coverage});
        }
      }
    }
  });
}

}  // namespace grinsnap
