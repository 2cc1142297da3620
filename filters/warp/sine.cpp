#include "filters/warp/sine.h"

#include <cmath>
#include <numbers>

#include "core/sampler.h"
#include "filters/kernel_support.h"
#include "filters/warp/warp_sampling.h"

namespace grinsnap {

namespace {

constexpr float kPi = std::numbers::pi_v<float>;

// arcsin z for z = a + ib with a >= 0 and b <= 0, as -i log(i z + sqrt(1 - z^2)).
// In this quarter i z + sqrt(1 - z^2) adds two numbers of like direction,
// so nothing cancels; the square root is the principal one with a
// non-negative imaginary part, as the rule for this quarter asks.
cv::Point2f ArcsineQuarter(float a, float b) {
  // The principal square root of 1 - z^2 = (1 - a^2 + b^2) - 2ab i, taken
  // in the form that does not lose the smaller part to cancellation.
  const float p = 1.0f - a * a + b * b;
  const float q = -2.0f * a * b;
  const float m = std::sqrt(p * p + q * q);
  float re = 0.0f, im = 0.0f;
  if (m > 0.0f) {
    if (p >= 0.0f) {
      re = std::sqrt(0.5f * (m + p));
      im = q / (2.0f * re);
    } else {
      im = std::copysign(std::sqrt(0.5f * (m - p)), q);
      re = q / (2.0f * im);
    }
  }
  if (im < 0.0f) re = -re, im = -im;
  // w = -i log(t) = arg t - i ln |t|, with t = i z + root.
  const float tr = re - b;
  const float ti = im + a;
  return {std::atan2(ti, tr), -0.5f * std::log(tr * tr + ti * ti)};
}

// A pixel's place in the quarter: the column or row mirrored through the
// centre when it lies on the other side, and whether it was.
struct QuarterIndex {
  int index;
  bool mirrored;
};
inline QuarterIndex ColumnInQuarter(int x, int width) {
  return 2 * x >= width ? QuarterIndex{x, false} : QuarterIndex{width - x, true};
}
inline QuarterIndex RowInQuarter(int y, int height) {
  return 2 * y <= height ? QuarterIndex{y, false} : QuarterIndex{height - y, true};
}

inline float PlanePosition(int index, int size, float k) {
  return k * (2.0f * static_cast<float>(index) / static_cast<float>(size) - 1.0f);
}

// The texture position of a pixel whose quarter point has the map w; b is the
// quarter point's imaginary part.
inline cv::Point2f TexturePosition(cv::Point2f w, float b, bool mirrorX, bool mirrorY, float s) {
  // arcsin is odd and commutes with conjugation: mirroring z left to right
  // (z -> -conj z) negates the real part of w, mirroring it top to bottom
  // (z -> conj z) negates the imaginary part. On the real axis beyond -1 the
  // root's rule takes the same side as beyond +1, where mirroring would take
  // the other: there the imaginary part keeps the sign the rule gives.
  const bool negateIm = mirrorY || (b == 0.0f && mirrorX);
  const float re = mirrorX ? -w.x : w.x;
  const float im = negateIm ? -w.y : w.y;
  constexpr float kTwoOverPi = 2.0f / kPi;
  return {s * (re * kTwoOverPi + 1.0f) / 2.0f, s * (im * kTwoOverPi + 1.0f) / 2.0f};
}

}  // namespace

cv::Point2f ArcsinePosition(int x, int y, int width, int height, float k, float s) {
  const QuarterIndex column = ColumnInQuarter(x, width), row = RowInQuarter(y, height);
  const float b = PlanePosition(row.index, height, k);
  const cv::Point2f w = ArcsineQuarter(PlanePosition(column.index, width, k), b);
  return TexturePosition(w, b, column.mirrored, row.mirrored, s);
}

bool SineKernel(const cv::Mat& src, cv::Mat& dst, float k, float s, const std::atomic<bool>* cancel) {
  CV_Assert(src.type() == CV_8UC3 && !src.empty());
  const cv::Mat in = Unaliased(src, dst);
  dst.create(in.size(), CV_8UC3);
  const int width = in.cols, height = in.rows;
  const TypedSampler<std::uint8_t, 3, 3> sampler(in, SampleBorder::Tile);
  // The quarter's columns run from firstColumn to W and its rows from 0 to
  // H / 2. Each quarter point (xc, yc) is computed once and drawn at up to
  // four pixels: (xc, yc), its mirror W - xc on the left, and both mirrored
  // to H - yc below. The quarter is visited in blocks (see WarpBySampling),
  // bands of its rows in parallel; pixels are independent, so neither the
  // split nor the order changes the picture.
  const int firstColumn = (width + 1) / 2;
  const int quarterRows = height / 2 + 1;
  const int bands = (quarterRows + kWarpBlockRows - 1) / kWarpBlockRows;
  return ParallelRows(bands, cancel, [&](int band) {
    const int top = band * kWarpBlockRows, bottom = std::min(top + kWarpBlockRows, quarterRows);
    // Per row of a block, two passes: the up to four pixels of each quarter
    // point with their texture positions, then the samples, each one's
    // source rows fetched a few pixels ahead.
    struct Target {
      std::uint8_t* out;
      cv::Point2f p;
    };
    Target targets[4 * kWarpBlockColumns];
    for (int left = firstColumn; left <= width; left += kWarpBlockColumns) {
      const int right = std::min(left + kWarpBlockColumns, width + 1);
      for (int yc = top; yc < bottom; ++yc) {
        const float b = PlanePosition(yc, height, k);
        // Row 0 and the middle row of an even height have no partner below;
        // column W has none on the right, the middle column none on the left.
        const int below = height - yc < height && height - yc > yc ? height - yc : -1;
        int n = 0;
        auto aim = [&](int x, int y, cv::Point2f w, bool mirrorX, bool mirrorY) {
          targets[n++] = {dst.ptr<std::uint8_t>(y) + 3 * x, TexturePosition(w, b, mirrorX, mirrorY, s)};
        };
        for (int xc = left; xc < right; ++xc) {
          const cv::Point2f w = ArcsineQuarter(PlanePosition(xc, width, k), b);
          const bool onRight = xc < width, onLeft = 2 * (width - xc) < width;
          if (onRight) aim(xc, yc, w, false, false);
          if (onLeft) aim(width - xc, yc, w, true, false);
          if (below >= 0 && onRight) aim(xc, below, w, false, true);
          if (below >= 0 && onLeft) aim(width - xc, below, w, true, true);
        }
        for (int i = 0; i < std::min(kWarpPrefetchAhead, n); ++i) sampler.Prefetch(targets[i].p.x, targets[i].p.y);
        for (int i = 0; i < n; ++i) {
          if (i + kWarpPrefetchAhead < n)
            sampler.Prefetch(targets[i + kWarpPrefetchAhead].p.x, targets[i + kWarpPrefetchAhead].p.y);
#if CV_SIMD128
          StoreBgr8(targets[i].out, sampler.AtLanes(targets[i].p.x, targets[i].p.y));
#else
          const cv::Vec3f value = sampler.At(targets[i].p.x, targets[i].p.y);
          for (int c = 0; c < 3; ++c) targets[i].out[c] = ClampToByte(value[c]);
#endif
        }
      }
    }
  });
}

CF_Sine::CF_Sine() : CF_SimpleFilter(kClassName, kTraits) {}

bool CF_Sine::RunKernel(const cv::Mat& in, cv::Mat& out) {
  return SineKernel(in, out, Param(kScale), Param(kTiling), StopFlag());
}

}  // namespace grinsnap
