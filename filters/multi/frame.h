#pragma once

#include <array>
#include <atomic>

#include "filters/multi/multi_src.h"

namespace grinsnap {

// How the photo of one window is drawn over the frame picture.
struct WindowShading {
  bool keepAspect = false;  // crop or fit the photo to holeAspect instead of stretching it
  bool fit = false;         // with keepAspect: the whole photo inside, margins in fillColour
  float holeAspect = 1.0f;  // width / height of the window
  float opacity = 1.0f;
  float edge = 0.0f;        // soft edge width, a fraction of the window
  bool blend = false;       // blend by the photo's brightness
  bool maskTest = false;    // draw only where the mask shows the window's key colour
  KeyColour key;
  cv::Vec3b fillColour{0, 0, 0};  // blue, green, red
};

// The pictures a window is drawn over, at the output size except the mask,
// which is at the frame picture's natural size.
struct FramePictures {
  cv::Mat background;   // empty: grey 128
  cv::Mat background2;  // empty: none
  cv::Mat mask;         // empty: none
  cv::Size natural;     // the frame picture's size
};

// The soft edge: 1 inside the band e <= t < 1 - e, falling to 0 at t = 0
// and t = 1 along half a cosine wave.
float EdgeWeight(float t, float e);

// One pixel of a window from the photo colour P, the frame picture's colour
// G and the second picture's G2 (null without one), all blue-green-red, with
// opacity alpha (the edge weights included). Not yet truncated.
cv::Vec3f ShadeWindowPixel(const cv::Vec3f& p, const cv::Vec3f& g, const cv::Vec3f* g2, float alpha, bool blend);

// Whether a mask pixel (blue, green, red) shows a key colour: every channel
// closer than 5.
bool MatchesKey(const cv::Vec3b& maskPixel, const KeyColour& key);

// Draws the photo into the quadrilateral with corners (in output pixels,
// order top-left, top-right, bottom-left, bottom-right) through the
// projective mapping of the unit square onto it; the photo's top-left
// corner goes to the first corner. An empty photo draws grey 128. Rows run
// in parallel (each pixel depends only on its own position). Returns false
// when stop was set.
bool DrawFrameWindow(const cv::Mat& photo, const std::array<cv::Point2d, 4>& corners, const WindowShading& shading,
                     const FramePictures& pictures, cv::Mat& out, const std::atomic<bool>* stop);

// The frame filter ("FrameFilter"): the photos of the frame template drawn
// into the windows of a frame picture ("background") with perspective, soft
// edges, opacity, blending with a second picture ("background2") and a mask
// ("mask") that keeps each photo to the parts of its window the mask paints
// in the window's key colour. Without a frame picture the canvas is grey,
// "width" x "height" (800 x 600 by default).
class CF_Frame : public CF_MultiSrc {
public:
  static constexpr const char* kClassName = "FrameFilter";
  static constexpr FilterTraits kTraits{.ownStopFlag = true, .needsSource = false};

  CF_Frame();

  int Load() override;
  bool PrepareOutput(const cv::Size* box) override;
  // Tells the block the frame picture's size and, while a drop is placed,
  // which window lies under the drop point.
  void PublishLayout() override;
  // Puts the dropped photo into the window the last PublishLayout chose.
  void ApplyPlacement(std::span<const cv::Mat> images, const PlacementRecord* placement) override;

  // The frame picture's natural size (or the canvas without one).
  cv::Size Natural() const;
  // The window under a point of the frame picture; -1 for none.
  int WindowAt(int x, int y) const;
  const cv::Mat& Background() const { return background_; }
  const cv::Mat& Background2() const { return background2_; }
  const cv::Mat& Mask() const { return mask_; }

protected:
  RenderResult Run() override;

private:
  int MaxSide(int window) const;
  WindowShading Shading(int window) const;

  cv::Mat background_;
  cv::Mat background2_;
  cv::Mat mask_;
  cv::Size canvas_{kDefaultOutputWidth, kDefaultOutputHeight};
  // The pictures at the output size, made again when that size changes.
  cv::Mat scaledBackground_;
  cv::Mat scaledBackground2_;
};

}  // namespace grinsnap
