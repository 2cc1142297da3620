// A vignette window: the photo seen through an opening whose edge fades
// into the surroundings.
//
// The opening is an ellipse that fits the picture; a pixel's distance d from
// the centre is measured in halves of the width and height, so d = 1 touches
// the middle of each side. Inside d <= radius the window shows its content
// whole; over the next `edge` it fades out, either as a bell (Gaussian,
// exp(-4.5 t^2) with t the way across the edge, about 1 % left at its outer
// side and never quite nothing) or as half a cosine wave (cosine, exactly 0
// from radius + edge on). The Gaussian edge is the soft, old-camera
// vignette; the cosine edge a cleaner opening with a definite end.
//
// Content and surroundings are pictures made from the photo: the content by
// the nested "filter" element, the background by the nested "bkfilter"
// element, each the photo itself when not given. The content is tinted by
// "color"; the background is scaled by "brightness" and mixed towards
// "bkcolor" by "intense", so that the defaults give the classic dark
// vignette and a background filter with intense 0 shows, say, a sketch
// around a colour photo. A decoration picture, stretched over the whole
// result, is laid on top through its alpha: frost in the corners, a window
// frame, a painted border.
//
// Pixels depend on their own values only: rows run in parallel.
#include "filters/weather/window.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <stdexcept>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "core/xml_params.h"
#include "filters/filter_assets.h"
#include "filters/filter_factory.h"
#include "filters/kernel_support.h"

namespace grinsnap {

float WindowWeight(const WindowSettings& settings, float x, float y, cv::Size size) {
  const float hw = 0.5f * static_cast<float>(size.width), hh = 0.5f * static_cast<float>(size.height);
  const float dx = (x - hw) / hw, dy = (y - hh) / hh;
  const float d = std::sqrt(dx * dx + dy * dy);
  if (!(d > settings.radius)) return 1.0f;
  // An edge of no width (or a negative one) is a hard opening.
  if (!(settings.edge > 0.0f)) return 0.0f;
  const float t = (d - settings.radius) / settings.edge;
  if (settings.shape == WindowShape::Cosine)
    return t >= 1.0f ? 0.0f : 0.5f * (1.0f + std::cos(std::numbers::pi_v<float> * t));
  return std::exp(-4.5f * t * t);
}

bool ParseColourText(const std::string& text, cv::Vec3f& colour) {
  unsigned hex = 0;
  int used = 0;
  if (text.size() == 7 && text[0] == '#' && std::sscanf(text.c_str() + 1, "%6x%n", &hex, &used) == 1 && used == 6) {
    colour = {static_cast<float>(hex & 0xFF), static_cast<float>((hex >> 8) & 0xFF), static_cast<float>((hex >> 16) & 0xFF)};
    return true;
  }
  int r = 0, g = 0, b = 0;
  if (std::sscanf(text.c_str(), " %d , %d , %d %n", &r, &g, &b, &used) == 3 && used == static_cast<int>(text.size()) &&
      std::min({r, g, b}) >= 0 && std::max({r, g, b}) <= 255) {
    colour = {static_cast<float>(b), static_cast<float>(g), static_cast<float>(r)};
    return true;
  }
  return false;
}

bool WindowKernel(const cv::Mat& content, const cv::Mat& background, const cv::Mat& decoration, cv::Mat& dst,
                  const WindowSettings& settings, const std::atomic<bool>* cancel) {
  CV_Assert(content.type() == CV_8UC3 && background.type() == CV_8UC3 && background.size() == content.size());
  CV_Assert(decoration.empty() || decoration.type() == CV_8UC4);
  const cv::Mat front = Unaliased(content, dst), back = Unaliased(background, dst);
  dst.create(front.size(), CV_8UC3);
  if (front.empty()) return true;
  cv::Mat cover;
  if (!decoration.empty()) {
    if (decoration.size() == front.size())
      cover = decoration;
    else
      cv::resize(decoration, cover, front.size(), 0, 0, cv::INTER_AREA);
  }
  // Values far out of range are held where they still mean something.
  const float brightness = std::isfinite(settings.brightness) ? std::clamp(settings.brightness, 0.0f, 16.0f) : 1.0f;
  const float intense = std::isfinite(settings.intense) ? std::clamp(settings.intense, 0.0f, 1.0f) : 1.0f;
  const int width = front.cols;
  // The weight depends on the squared distance alone, which is at most 2 in
  // the corners: it is tabulated finely over that range and read back with
  // linear interpolation, in place of a root and an exponential per pixel.
  constexpr int kEntries = 4096;
  constexpr float kLargest = 2.0f;
  std::vector<float> weights(kEntries + 1);
  for (int i = 0; i <= kEntries; ++i) {
    const float d = std::sqrt(kLargest * static_cast<float>(i) / kEntries);
    weights[i] = WindowWeight(settings, 1.0f + d, 1.0f, cv::Size(2, 2));
  }
  const float hw = 0.5f * static_cast<float>(width), hh = 0.5f * static_cast<float>(front.rows);
  return ParallelRows(front.rows, cancel, [&](int y) {
    const std::uint8_t* f = front.ptr<std::uint8_t>(y);
    const std::uint8_t* b = back.ptr<std::uint8_t>(y);
    const std::uint8_t* d = cover.empty() ? nullptr : cover.ptr<std::uint8_t>(y);
    std::uint8_t* out = dst.ptr<std::uint8_t>(y);
    const float dy = (static_cast<float>(y) + 0.5f - hh) / hh;
    for (int x = 0; x < width; ++x, f += 3, b += 3, out += 3) {
      const float dx = (static_cast<float>(x) + 0.5f - hw) / hw;
      const float at = std::min((dx * dx + dy * dy) * (kEntries / kLargest), static_cast<float>(kEntries));
      const int i = std::min(static_cast<int>(at), kEntries - 1);
      const float w = weights[i] + (at - static_cast<float>(i)) * (weights[i + 1] - weights[i]);
      for (int ch = 0; ch < 3; ++ch) {
        const float inside = static_cast<float>(f[ch]) * settings.colour[ch] / 255.0f;
        const float around = static_cast<float>(b[ch]) * brightness * (1.0f - intense) + settings.bkColour[ch] * intense;
        float value = around + w * (inside - around);
        if (d) {
          const float alpha = static_cast<float>(d[4 * x + 3]) / 255.0f;
          value += alpha * (static_cast<float>(d[4 * x + ch]) - value);
        }
        out[ch] = ClampToByte(value + 0.5f);
      }
    }
  });
}

CF_Window::CF_Window() : CF_SimpleFilter(kClassName, kTraits) {}

CF_Window::~CF_Window() = default;

int CF_Window::Load() {
  CF_SimpleFilter::Load();
  settings_ = WindowSettings();
  decoration_.release();
  missing_.clear();
  backgroundFilter_.reset();
  contentFilter_.reset();
  const tinyxml2::XMLElement* param = FirstChild(element_, "param");
  // An unknown shape keeps the Gaussian edge.
  if (AttributeText(param, "type") == "cosine") settings_.shape = WindowShape::Cosine;
  ReadAttribute(param, "radius", settings_.radius);
  ReadAttribute(param, "edge", settings_.edge);
  ReadAttribute(param, "brightness", settings_.brightness);
  ReadAttribute(param, "intense", settings_.intense);
  ParseColourText(AttributeText(param, "color"), settings_.colour);
  ParseColourText(AttributeText(param, "bkcolor"), settings_.bkColour);
  const std::string decoration = AttributeText(param, "decoration");
  if (!decoration.empty()) {
    cv::Mat picture = LoadAsset(Folder(), decoration, missing_, true);
    if (picture.channels() == 3) cv::cvtColor(picture, picture, cv::COLOR_BGR2BGRA);
    decoration_ = picture;
  }
  const tinyxml2::XMLElement* bk = FirstChild(param, "bkfilter");
  if (!bk) bk = FirstChild(element_, "bkfilter");
  // The nested filters read the photo only while this filter runs: they
  // share its pixels rather than copy them.
  backgroundFilter_ = CreateNestedFilter(*this, bk, true);
  contentFilter_ = CreateNestedFilter(*this, FirstChild(element_, "filter"), true);
  return 0;
}

void CF_Window::ForEachNested(const std::function<void(CImageFilter&)>& visit) {
  if (backgroundFilter_) visit(*backgroundFilter_);
  if (contentFilter_) visit(*contentFilter_);
}

bool CF_Window::RunKernel(const cv::Mat& in, cv::Mat& out) {
  if (!missing_.empty()) throw std::runtime_error("the window cannot read its decoration " + missing_);
  cv::Mat background, content;
  if (backgroundFilter_ && !RenderNested(*backgroundFilter_, in, background)) return false;
  if (contentFilter_ && !RenderNested(*contentFilter_, in, content)) return false;
  return WindowKernel(content.empty() ? in : content, background.empty() ? in : background, decoration_, out,
                      settings_, StopFlag());
}

}  // namespace grinsnap
