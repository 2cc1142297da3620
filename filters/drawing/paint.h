#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "filters/simple_filter.h"

namespace grinsnap {

// The styles of the texture painter.
enum class PaintStyle { kOil = 0, kImpressionist = 1 };

// A painting of src (8-bit BGR) into dst (its size) in brush strokes
// textured by the brush pictures (float, in [0, 1], dark where the brush
// lays paint, u along the stroke), drawn from the generator seeded by seed.
// The strokes are painted on a canvas of at most 1200 pixels across, which
// a larger dst gets enlarged; the canvas weave is laid at dst's own size.
// Returns false when cancel stopped it.
bool PaintKernel(const cv::Mat& src, cv::Mat& dst, PaintStyle style, const std::vector<cv::Mat>& brushes,
                 std::uint32_t seed, const std::atomic<bool>* cancel);

// The texture painter ("PaintFilter"): "type" on the filter element picks
// the oil painting (0) or the impressionist dabs (1); other types leave the
// output as it is. Each "param" element names a brush picture with "tex"
// (relative to the document's folder); without any, the built-in bristle
// and round brushes paint. A named brush that cannot be read makes the
// render fail with its path. Always runs in the background.
class CF_Paint : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "PaintFilter";
  static constexpr FilterTraits kTraits{.seeded = true, .background = Background::Always};

  CF_Paint();

  int Load() override;

  int Type() const { return type_; }
  const std::vector<cv::Mat>& Brushes() const { return brushes_; }

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;

private:
  int type_ = 0;
  std::vector<cv::Mat> brushes_;  // CV_32FC1
  std::string missing_;
};

}  // namespace grinsnap
