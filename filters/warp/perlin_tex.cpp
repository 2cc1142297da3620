#include "filters/warp/perlin_tex.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>

#include "core/xml_params.h"
#include "filters/kernel_support.h"
#include "filters/warp/noise_field.h"

namespace grinsnap {

cv::Vec3b PerlinColour(float n, float intense) {
  constexpr float kTwoPi = 2.0f * std::numbers::pi_v<float>;
  const float a = kTwoPi * n;
  const float amplitude = 128.0f * intense;
  return {ClampToByte(128.0f + amplitude * std::cos(a)), ClampToByte(128.0f + amplitude * std::cos(a + kTwoPi / 3.0f)),
          ClampToByte(128.0f + amplitude * std::cos(a - kTwoPi / 3.0f))};
}

bool PerlinTexKernel(const cv::Mat& src, cv::Mat& dst, const PerlinParams& params, CrtRandom& random,
                     const std::atomic<bool>* cancel) {
  CV_Assert(src.type() == CV_8UC3);
  const cv::Mat in = Unaliased(src, dst);
  dst.create(in.size(), CV_8UC3);
  if (in.empty()) return true;
  const int width = in.cols, height = in.rows;
  const double shorter = std::min(width, height);
  cv::Mat noise(in.size(), CV_32FC1);
  NoiseField(noise, width * static_cast<double>(params.dense) / shorter,
             height * static_cast<double>(params.dense) / shorter, random);
  if (CancelRequested(cancel)) return false;

  // The noise is drawn; every pixel then depends on its own values alone.
  return ParallelRows(height, cancel, [&](int y) {
    const std::uint8_t* p = in.ptr<std::uint8_t>(y);
    const float* n = noise.ptr<float>(y);
    std::uint8_t* out = dst.ptr<std::uint8_t>(y);
    for (int x = 0; x < width; ++x, p += 3, out += 3) {
      if (params.type == PerlinType::Lumin) {
        const float lift = 255.0f * params.intense * (n[x] - 0.5f);
        for (int c = 0; c < 3; ++c) out[c] = ClampToByte(static_cast<float>(p[c]) + lift);
        continue;
      }
      const cv::Vec3b colour = PerlinColour(n[x], params.intense);
      for (int c = 0; c < 3; ++c) {
        const float photo = static_cast<float>(p[c]), wheel = static_cast<float>(colour[c]);
        out[c] = ClampToByte(params.type == PerlinType::Color
                                 ? params.alpha1 * wheel + params.alpha2 * photo
                                 : photo * (params.alpha2 + params.alpha1 * wheel / 128.0f));
      }
    }
  });
}

CF_PerlinTex::CF_PerlinTex() : CF_SimpleFilter(kClassName, kTraits) {}

int CF_PerlinTex::Load() {
  CF_SimpleFilter::Load();
  params_ = PerlinParams();
  ReadAttribute(element_, "dense", params_.dense);
  ReadAttribute(element_, "intense", params_.intense);
  ReadAttribute(element_, "alpha1", params_.alpha1);
  ReadAttribute(element_, "alpha2", params_.alpha2);
  const std::string type = AttributeText(element_, "type");
  if (type == "color") params_.type = PerlinType::Color;
  if (type == "merge") params_.type = PerlinType::Merge;
  return 0;
}

bool CF_PerlinTex::RunKernel(const cv::Mat& in, cv::Mat& out) {
  CrtRandom random(seed_);
  return PerlinTexKernel(in, out, params_, random, StopFlag());
}

}  // namespace grinsnap
