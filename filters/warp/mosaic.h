#pragma once

#include <atomic>

#include "filters/simple_filter.h"

namespace grinsnap {

// Pixelates the rectangle of img (8-bit BGR, in place) from column x0 to x1
// and row y0 to y1 (exclusive): cells of cell x cell pixels, their rows
// starting at y0 and their columns at multiples of cell, each set to the mean
// of its pixels inside the rectangle (integer sums, truncated). Returns false
// when cancel stopped it.
bool MosaicKernel(cv::Mat& img, cv::Rect region, int cell, const std::atomic<bool>* cancel);

// The rectangle and cell size a block asks for, on a width x height picture:
// the region of interest (x, y, w, h as fractions) taken as columns trunc(xW)
// to trunc(wW) + trunc(xW) and rows likewise, clipped to the picture, or the
// whole picture when any of the four is negative; the cell is
// trunc(f min(hH, wW)), at least 1, with the whole picture's sides when the
// region is the whole picture. A cell of 0 means nothing is done (f is 0 or
// less).
struct MosaicArea {
  cv::Rect region;
  int cell = 0;
};
MosaicArea MosaicAreaFor(cv::Size size, float f, float x, float y, float w, float h);

// Pixelation inside the template's region of interest ("MosaicFilter").
// Block entry 0 is the cell size as a fraction of the region's shorter side.
class CF_Mosaic : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "MosaicFilter";
  static constexpr BlockParam kCellSize{0, "cell size", 0.05f, 0.0f, 0.5f};
  static constexpr BlockParam kParams[] = {kCellSize};
  static constexpr FilterTraits kTraits{.needsBlock = true, .params = kParams};

  CF_Mosaic();

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;
};

}  // namespace grinsnap
