#include "filters/drawing/wood_print.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include <opencv2/imgproc.hpp>

#include "core/xml_params.h"
#include "filters/drawing/textures.h"
#include "filters/filter_assets.h"
#include "filters/kernel_support.h"

namespace grinsnap {

bool WoodPrintKernel(const cv::Mat& src, const cv::Mat& foreground, const cv::Mat& background, cv::Mat& dst,
                     float a, float b, const std::atomic<bool>* cancel) {
  CV_Assert(src.type() == CV_8UC3 && foreground.type() == CV_8UC3 && background.type() == CV_8UC3);
  CV_Assert(foreground.size() == src.size() && background.size() == src.size());
  cv::Mat grey;
  cv::cvtColor(src, grey, cv::COLOR_BGR2GRAY);
  dst.create(src.size(), CV_8UC3);
  const int width = src.cols, height = src.rows;
  const double pi = CV_PI;
  return ParallelRows(height, cancel, [&](int i) {
    // The bend depends on the row alone.
    const double bend = std::sin((static_cast<double>(i) / height) * pi / a) * b;
    const std::uint8_t* g = grey.ptr<std::uint8_t>(i);
    const std::uint8_t* fg = foreground.ptr<std::uint8_t>(i);
    const std::uint8_t* bg = background.ptr<std::uint8_t>(i);
    std::uint8_t* out = dst.ptr<std::uint8_t>(i);
    for (int j = 0; j < width; ++j) {
      const double d = (bend + static_cast<double>(j) / width) * 100.0;
      // The modulo of a negative D (a negative bend) still lands in 0..2.
      const double t = std::fabs((d - 2.0 * std::floor(d / 2.0)) - 1.0);
      const int m = ClampToByte(g[j] - 255.0 * t + 128.0);
      // Each product over 255 rounded to the nearest: in integers, exactly,
      // since a product of bytes over 255 never lies half way.
      for (int c = 0; c < 3; ++c) {
        const int front = (2 * fg[3 * j + c] * m + 255) / 510;
        const int back = (2 * bg[3 * j + c] * (255 - m) + 255) / 510;
        out[3 * j + c] = static_cast<std::uint8_t>(std::min(front + back, 255));
      }
    }
  });
}

CF_WoodPrint::CF_WoodPrint() : CF_SimpleFilter(kClassName, kTraits) {}

int CF_WoodPrint::Load() {
  CF_SimpleFilter::Load();
  foreground_.release();
  background_.release();
  missing_.clear();
  const tinyxml2::XMLElement* param = FirstChild(element_, "param");
  const std::string front = AttributeText(param, "foreground");
  const std::string back = AttributeText(param, "background");
  foreground_ = front.empty() ? DefaultWood(WoodKind::kLight) : LoadAsset(Folder(), front, missing_);
  background_ = back.empty() ? DefaultWood(WoodKind::kDark) : LoadAsset(Folder(), back, missing_);
  return 0;
}

bool CF_WoodPrint::RunKernel(const cv::Mat& in, cv::Mat& out) {
  if (foreground_.empty() || background_.empty())
    throw std::runtime_error("the woodcut needs both of its wood pictures; cannot read " + missing_);
  cv::Mat front, back;
  cv::resize(foreground_, front, in.size(), 0, 0, cv::INTER_LINEAR);
  cv::resize(background_, back, in.size(), 0, 0, cv::INTER_LINEAR);
  return WoodPrintKernel(in, front, back, out, Param(kBend), Param(kAmplitude), StopFlag());
}

}  // namespace grinsnap
