#pragma once

#include <atomic>

#include "filters/simple_filter.h"

namespace grinsnap {

// The size the watercolours work at: a picture wider or taller than 400
// pixels is scaled by x min(600 / width, 600 / height) (rounded); smaller
// pictures keep their size. The result is at least 1 x 1 and at most twice
// the picture on either side, whatever x is.
cv::Size WaterPaintWorkingSize(cv::Size picture, float x);

// Blotchy watercolour by sign diffusion, from src (8-bit BGR) into dst (its
// size). The picture at the working size is the reference O; passes
// alternate between two float copies A and B (A to B first), at most 21: each
// channel of each pixel moves by the number of its four neighbours (clamped
// at the border) that are brighter minus the number that are darker, plus
// (O - value) / 20. The loop ends after a pass whose largest change is below
// 1. A, back in 8 bits, is resized into dst. A stop (polled once per row)
// ends it at once without writing dst and returns false.
bool SignDiffusionKernel(const cv::Mat& src, cv::Mat& dst, float x, const std::atomic<bool>* cancel);

// The wash: flat shapes of colour, from src (8-bit, one or three channels)
// into dst at the working size for x (x of 0 or less: src's own size). A
// median of aperture 2n + 1 rounds the shapes off; n passes of a 3 x 3 sigma
// filter (each value becomes the rounded mean of the values in its 3 x 3
// neighbourhood that lie within s of it) then smooth them inside while
// keeping their borders. The cartoon smooths its hue with it, so it must not
// mix values across a border: a median and a sigma filter never average a
// hue near 0 with one near a full turn. Returns false when cancel stopped it.
bool WashKernel(const cv::Mat& src, cv::Mat& dst, float x, int n, float s, const std::atomic<bool>* cancel);

// The size the second watercolour works at: the picture scaled by
// x min(600 / width, 600 / height), small pictures enlarged too, each side
// rounded and within 1 .. 4096.
cv::Size WetWashWorkingSize(cv::Size picture, float x);

// The second watercolour, from src (8-bit BGR) into dst (its size): the wash
// (WashKernel with 5 and 20) at its working size, its pigment pooled at the
// borders of the shapes and granulated by uneven noise, lightened like a
// transparent paint, resized into dst and laid on the tooth of the paper.
bool WetWashKernel(const cv::Mat& src, cv::Mat& dst, float x, const std::atomic<bool>* cancel);

// The watercolours ("WaterPaintFilter"): "type" on the filter element, read
// at every Process, picks the sign diffusion (0) or the wet wash (1); other
// types leave the output as it is. Block entry 0 scales the working size
// (default 1). Runs in the background when "param" has delay="1".
class CF_WaterPaint : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "WaterPaintFilter";
  static constexpr int kDiffusionType = 0;
  static constexpr int kWetWashType = 1;
  // The wash constants of the second watercolour: median radius and passes,
  // and the sigma filter's range.
  static constexpr int kWashRadius = 5;
  static constexpr float kWashRange = 20.0f;
  static constexpr BlockParam kScale{0, "detail", 1.0f, 0.25f, 2.0f};
  static constexpr BlockParam kParams[] = {kScale};
  static constexpr FilterTraits kTraits{.background = Background::WhenDelay, .params = kParams};

  CF_WaterPaint();

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;
};

}  // namespace grinsnap
