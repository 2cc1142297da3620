#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "filters/drawing/drawing_support.h"
#include "filters/simple_filter.h"

namespace grinsnap {

// The ink the strokes are drawn with.
enum class InkType { kGraphite = 0, kBlack = 1, kSepia = 2, kBlue = 3 };

// What the stroke renderer lays under and over the sketch.
struct InkSettings {
  InkType ink = InkType::kBlack;
  // How strongly the colour picture shows under the ink, 0 to 1.
  float image = 0.0f;
};

// The ink drawing over a pencil sketch (8-bit, three equal channels, from
// SketchKernel) into dst (its size): ink lines follow the sketch's dark
// lines along their direction, hatching fills its dark areas, the sketch
// shows faintly beneath, all on the paper, over the colour picture (8-bit
// BGR of the sketch's size, or empty for none) as far as settings.image
// says. paper and stroke are float textures in [0, 1] (stroke: dark is
// ink, u along the stroke). Draws from random. Returns false when cancel
// stopped it.
bool InkStrokeKernel(const cv::Mat& sketch, const cv::Mat& colour, cv::Mat& dst, const InkSettings& settings,
                     const cv::Mat& paper, const cv::Mat& stroke, std::uint32_t seed, const std::atomic<bool>* cancel);

// The sketch overdrawn with ink strokes ("StrokeSketchFilter"). "param"
// holds "inktype" (0 graphite, 1 black ink, 2 sepia, 3 blue; default 1),
// "paper" and "stroke" (texture files relative to the document; the
// built-in sketchbook paper and pen stroke when not named) and "image" (0 to
// 1, default 0: how strongly the colour picture shows under the ink). A
// nested filter element, when there is one, makes that colour picture from
// the photo (a watercolour for ink and wash, say); without one the photo
// itself is the colour picture. A named texture that cannot be read makes
// the render fail with its path.
class CF_StrokeSketch : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "StrokeSketchFilter";
  static constexpr FilterTraits kTraits{.seeded = true, .background = Background::Always};

  CF_StrokeSketch();
  ~CF_StrokeSketch() override;

  int Load() override;
  void ForEachNested(const std::function<void(CImageFilter&)>& visit) override;

  const InkSettings& Settings() const { return settings_; }
  const CImageFilter* Nested() const { return nested_.get(); }

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;

private:
  InkSettings settings_;
  cv::Mat paper_;   // CV_32FC1
  cv::Mat stroke_;  // CV_32FC1
  std::string missing_;
  std::unique_ptr<CImageFilter> nested_;
  GreyTables tables_;  // the sketch's, kept for the next run
};

}  // namespace grinsnap
