#include "filters/sampler.h"

#include <algorithm>
#include <cmath>

namespace grinsnap {
namespace {

template <typename T, int N>
void ReadTapAs(const cv::Mat& image, int x, int y, cv::Vec<float, N>& out) {
  const T* p = image.ptr<T>(y) + static_cast<std::ptrdiff_t>(x) * image.channels();
  const int n = std::min(image.channels(), N);
  for (int c = 0; c < n; ++c) out[c] = static_cast<float>(p[c]);
  for (int c = n; c < N; ++c) out[c] = 0.0f;
}

template <int N>
void ReadTapInside(const cv::Mat& image, int x, int y, cv::Vec<float, N>& out) {
  switch (image.depth()) {
    case CV_8U: ReadTapAs<std::uint8_t>(image, x, y, out); break;
    case CV_8S: ReadTapAs<std::int8_t>(image, x, y, out); break;
    case CV_16U: ReadTapAs<std::uint16_t>(image, x, y, out); break;
    case CV_16S: ReadTapAs<std::int16_t>(image, x, y, out); break;
    case CV_32S: ReadTapAs<std::int32_t>(image, x, y, out); break;
    case CV_32F: ReadTapAs<float>(image, x, y, out); break;
    case CV_64F: ReadTapAs<double>(image, x, y, out); break;
    default: out = cv::Vec<float, N>::all(0.0f);
  }
}

template <int N>
cv::Vec<float, N> ReadTap(const cv::Mat& image, int x, int y, const SampleOptions& options) {
  const int w = image.cols;
  const int h = image.rows;
  cv::Vec<float, N> out;
  if (x < 0 || y < 0 || x >= w || y >= h) {
    switch (options.border) {
      case SampleBorder::Constant:
        for (int c = 0; c < N; ++c) out[c] = static_cast<float>(options.constant[c]);
        return out;
      case SampleBorder::Tile:
        x = WrapCoordinate(x, w);
        y = WrapCoordinate(y, h);
        break;
      case SampleBorder::Clamp:
      default:
        x = std::clamp(x, 0, w - 1);
        y = std::clamp(y, 0, h - 1);
        break;
    }
  }
  ReadTapInside<N>(image, x, y, out);
  return out;
}

template <int N>
cv::Vec<float, N> Sample(const cv::Mat& image, float u, float v, const SampleOptions& options) {
  if (image.empty()) return cv::Vec<float, N>::all(0.0f);
  float x = options.normalised ? u * static_cast<float>(image.cols) - 0.5f : u - 0.5f;
  float y = options.normalised ? v * static_cast<float>(image.rows) - 0.5f : v - 0.5f;
  // Positions far outside the picture (or not numbers) read as the border.
  constexpr float kFar = 1.0e9f;
  if (!(std::fabs(x) < kFar)) x = x < 0 ? -kFar : kFar;
  if (!(std::fabs(y) < kFar)) y = y < 0 ? -kFar : kFar;
  const float xf = std::floor(x);
  const float yf = std::floor(y);
  const int x0 = static_cast<int>(xf);
  const int y0 = static_cast<int>(yf);
  const cv::Vec<float, N> t00 = ReadTap<N>(image, x0, y0, options);
  if (!options.interpolated) return t00;
  const float fx = x - xf;
  const float fy = y - yf;
  const cv::Vec<float, N> t10 = ReadTap<N>(image, x0 + 1, y0, options);
  const cv::Vec<float, N> t01 = ReadTap<N>(image, x0, y0 + 1, options);
  cv::Vec<float, N> result;
  if (fx + fy <= 1.0f) {
    for (int c = 0; c < N; ++c) result[c] = t00[c] + fx * (t10[c] - t00[c]) + fy * (t01[c] - t00[c]);
  } else {
    const cv::Vec<float, N> t11 = ReadTap<N>(image, x0 + 1, y0 + 1, options);
    for (int c = 0; c < N; ++c)
      result[c] = t11[c] + (1.0f - fy) * (t10[c] - t11[c]) + (1.0f - fx) * (t01[c] - t11[c]);
  }
  return result;
}

}  // namespace

cv::Vec3f SampleImage(const cv::Mat& image, float u, float v, const SampleOptions& options) {
  return Sample<3>(image, u, v, options);
}

cv::Vec4f SampleImage4(const cv::Mat& image, float u, float v, const SampleOptions& options) {
  return Sample<4>(image, u, v, options);
}

}  // namespace grinsnap
