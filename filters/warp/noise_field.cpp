#include "filters/warp/noise_field.h"

#include <algorithm>
#include <cmath>

#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

namespace grinsnap {
namespace {

// The smallest power of two at least v, for v up to limit (limit itself when
// v is larger or not a number).
int PowerOfTwoAtLeast(double v, int limit) {
  int p = 1;
  while (p < limit && p < v) p *= 2;
  return p;
}

// How many pixels of the big side hold cells of the small side's cells.
int CutSize(int big, int small, double cells) {
  const double pixels = static_cast<double>(big) * cells / small;
  if (!(pixels >= 1.0)) return 1;
  if (pixels >= big) return big;
  return static_cast<int>(std::lround(pixels));
}

// Where coefficient i of an n-point spectrum goes in an m-point one: the
// lower half stays, the upper half (the negative frequencies) moves to the end.
inline int CornerPlace(int i, int n, int m) { return i < n / 2 ? i : m - n + i; }

}  // namespace

void NoiseField(cv::Mat& field, double cellsX, double cellsY, CrtRandom& random) {
  CV_Assert(field.type() == CV_32FC1 && !field.empty());
  constexpr int kLargest = 1 << 16;
  int bigW = PowerOfTwoAtLeast(field.cols, kLargest);
  int bigH = PowerOfTwoAtLeast(field.rows, kLargest);
  const int w = std::max(2, std::min(PowerOfTwoAtLeast(cellsX, kLargest), bigW / 2));
  const int h = std::max(2, std::min(PowerOfTwoAtLeast(cellsY, kLargest), bigH / 2));
  bigW = std::max(bigW, w);
  bigH = std::max(bigH, h);

  cv::Mat grid(h, w, CV_32FC1);
  for (int x = 0; x < w; ++x)
    for (int y = 0; y < h; ++y) grid.at<float>(y, x) = random.NextUnit();

  cv::Mat spectrum;
  cv::dft(grid, spectrum, cv::DFT_COMPLEX_OUTPUT);
  for (int y = 0; y < h; ++y) {
    double fy = static_cast<double>(y) / h;
    if (fy > 0.5) fy -= 1;
    cv::Vec2f* row = spectrum.ptr<cv::Vec2f>(y);
    for (int x = 0; x < w; ++x) {
      double fx = static_cast<double>(x) / w;
      if (fx > 0.5) fx -= 1;
      if (fx * fx + fy * fy > 0.25) row[x] = cv::Vec2f(0, 0);
    }
  }

  const int cutW = CutSize(bigW, w, cellsX);
  const int cutH = CutSize(bigH, h, cellsY);

  // Down the columns first: each of the w spectrum columns, placed in a
  // bigH-point column, inverse transformed (one row of `columns` each).
  cv::Mat columns(w, bigH, CV_32FC2, cv::Scalar::all(0));
  for (int x = 0; x < w; ++x) {
    cv::Vec2f* line = columns.ptr<cv::Vec2f>(x);
    for (int y = 0; y < h; ++y) line[CornerPlace(y, h, bigH)] = spectrum.at<cv::Vec2f>(y, x);
  }
  cv::dft(columns, columns, cv::DFT_INVERSE | cv::DFT_ROWS | cv::DFT_COMPLEX_OUTPUT);

  // Then along the rows of the cut-out, a band at a time. Bands are
  // independent and each is transformed the same way wherever it runs, so
  // they run in parallel without changing a value.
  cv::Mat cut(cutH, cutW, CV_32FC1);
  const float scale = 1.0f / static_cast<float>(w * h);
  constexpr int kBand = 64;
  const int bands = (cutH + kBand - 1) / kBand;
  cv::parallel_for_(cv::Range(0, bands), [&](const cv::Range& range) {
    cv::Mat band;
    for (int b = range.start; b < range.end; ++b) {
      const int first = b * kBand;
      const int rows = std::min(kBand, cutH - first);
      band.create(rows, bigW, CV_32FC2);
      band.setTo(cv::Scalar::all(0));
      for (int r = 0; r < rows; ++r) {
        cv::Vec2f* line = band.ptr<cv::Vec2f>(r);
        for (int x = 0; x < w; ++x) line[CornerPlace(x, w, bigW)] = columns.at<cv::Vec2f>(x, first + r);
      }
      cv::dft(band, band, cv::DFT_INVERSE | cv::DFT_ROWS | cv::DFT_COMPLEX_OUTPUT);
      for (int r = 0; r < rows; ++r) {
        const cv::Vec2f* line = band.ptr<cv::Vec2f>(r);
        float* out = cut.ptr<float>(first + r);
        for (int x = 0; x < cutW; ++x) out[x] = line[x][0] * scale;
      }
    }
  });
  cv::resize(cut, field, field.size(), 0, 0, cv::INTER_LINEAR);
}

cv::Mat NoiseFieldAtMost(cv::Size size, int maxSide, double cellsX, double cellsY, CrtRandom& random) {
  const double shrink = std::min(1.0, static_cast<double>(std::max(maxSide, 1)) / std::min(size.width, size.height));
  const cv::Size small(std::max(1, static_cast<int>(std::lround(size.width * shrink))),
                       std::max(1, static_cast<int>(std::lround(size.height * shrink))));
  cv::Mat field(small, CV_32FC1);
  NoiseField(field, cellsX, cellsY, random);
  if (small == size) return field;
  cv::Mat large;
  cv::resize(field, large, size, 0, 0, cv::INTER_LINEAR);
  return large;
}

}  // namespace grinsnap
