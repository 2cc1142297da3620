#include "core/sampler.h"

namespace grinsnap {
namespace {

template <typename T, int Ch, int Out>
cv::Vec<float, Out> SampleAs(const cv::Mat& image, float u, float v, const SampleOptions& options) {
  const TypedSampler<T, Ch, Out> sampler(image, options.border, options.constant);
  return options.interpolated ? sampler.At(u, v, options.normalised) : sampler.Nearest(u, v, options.normalised);
}

template <typename T, int Out>
cv::Vec<float, Out> SampleChannels(const cv::Mat& image, float u, float v, const SampleOptions& options) {
  switch (image.channels()) {
    case 1: return SampleAs<T, 1, Out>(image, u, v, options);
    case 2: return SampleAs<T, 2, Out>(image, u, v, options);
    case 3: return SampleAs<T, 3, Out>(image, u, v, options);
    case 4: return SampleAs<T, 4, Out>(image, u, v, options);
    default: return SampleAs<T, 0, Out>(image, u, v, options);
  }
}

template <int Out>
cv::Vec<float, Out> Sample(const cv::Mat& image, float u, float v, const SampleOptions& options) {
  if (image.empty()) return cv::Vec<float, Out>::all(0.0f);
  switch (image.depth()) {
    case CV_8U: return SampleChannels<std::uint8_t, Out>(image, u, v, options);
    case CV_8S: return SampleChannels<std::int8_t, Out>(image, u, v, options);
    case CV_16U: return SampleChannels<std::uint16_t, Out>(image, u, v, options);
    case CV_16S: return SampleChannels<std::int16_t, Out>(image, u, v, options);
    case CV_32S: return SampleChannels<std::int32_t, Out>(image, u, v, options);
    case CV_32F: return SampleChannels<float, Out>(image, u, v, options);
    case CV_64F: return SampleChannels<double, Out>(image, u, v, options);
    default: return cv::Vec<float, Out>::all(0.0f);
  }
}

}  // namespace

cv::Vec3f SampleImage(const cv::Mat& image, float u, float v, const SampleOptions& options) {
  return Sample<3>(image, u, v, options);
}

cv::Vec4f SampleImage4(const cv::Mat& image, float u, float v, const SampleOptions& options) {
  return Sample<4>(image, u, v, options);
}

}  // namespace grinsnap
