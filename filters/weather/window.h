#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "filters/simple_filter.h"

namespace grinsnap {

// How the window's edge falls off.
enum class WindowShape : int {
  Gaussian = 0,  // "Gaussian": a bell-shaped fall-off that never quite ends
  Cosine = 1,    // "cosine": half a cosine wave, ending at radius + edge
};

struct WindowSettings {
  WindowShape shape = WindowShape::Gaussian;
  // Where the window's edge begins and how wide it is, in halves of the
  // picture's width and height (an ellipse that fits the picture).
  float radius = 0.55f;
  float edge = 0.5f;
  // The surroundings: the background picture times brightness, then mixed
  // towards bkColour by intense (0 keeps the picture, 1 is the colour alone).
  float brightness = 1.0f;
  float intense = 1.0f;
  cv::Vec3f bkColour{0, 0, 0};  // blue, green, red
  // The window's content is tinted by this colour (white leaves it).
  cv::Vec3f colour{255, 255, 255};
};

// How much of the window a pixel at (x, y) of a size picture sees: 1 inside
// the radius, falling to 0 over the edge.
float WindowWeight(const WindowSettings& settings, float x, float y, cv::Size size);

// Reads a colour attribute: "#RRGGBB" or "R,G,B" (0 to 255 each). Returns
// false and leaves colour alone for anything else.
bool ParseColourText(const std::string& text, cv::Vec3f& colour);

// The window over the picture: content (8-bit BGR) inside the window,
// background (8-bit BGR of the same size) under the surroundings, then the
// decoration (8-bit BGRA of any size, or empty) stretched over the whole
// picture through its alpha; into dst (created at content's size). Returns
// false when cancel stopped it.
bool WindowKernel(const cv::Mat& content, const cv::Mat& background, const cv::Mat& decoration, cv::Mat& dst,
                  const WindowSettings& settings, const std::atomic<bool>* cancel);

// A vignette window ("WindowFilter"). "param" holds "type" ("Gaussian" or
// "cosine"), "radius", "edge", "brightness", "intense", "color", "bkcolor"
// and "decoration" (a picture relative to the document, drawn over the
// result through its alpha). Two nested filters may render from the photo:
// a child element "bkfilter" of "param" (or of the filter element) makes
// the background, the first child "filter" element the window's content;
// without them the photo itself is used. A named decoration that cannot be
// read makes the render fail with its path. Runs on the worker above 1000
// pixels; Abort stops it and its nested filters.
class CF_Window : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "WindowFilter";
  static constexpr FilterTraits kTraits{
      .ownStopFlag = true, .background = Background::AboveSize, .backgroundLimit = 1000};

  CF_Window();
  ~CF_Window() override;

  int Load() override;
  void ForEachNested(const std::function<void(CImageFilter&)>& visit) override;

  const WindowSettings& Settings() const { return settings_; }
  const CImageFilter* BackgroundFilter() const { return backgroundFilter_.get(); }
  const CImageFilter* ContentFilter() const { return contentFilter_.get(); }

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;

private:
  WindowSettings settings_;
  cv::Mat decoration_;  // 8-bit BGRA
  std::string missing_;
  std::unique_ptr<CImageFilter> backgroundFilter_;
  std::unique_ptr<CImageFilter> contentFilter_;
};

}  // namespace grinsnap
