#pragma once

#include <atomic>

#include "filters/drawing/drawing_support.h"
#include "filters/simple_filter.h"

namespace grinsnap {

// The pencil sketch of src (8-bit BGR) into dst (created at src's size, three
// equal channels). For each pixel of grey value g, with a and d the mean and
// standard deviation over the 41 x 41 window around it and b the mean over
// the 51 x 51 window (both clipped to the picture, b at least 10), the value
// is 2.2 (g - (a + d / 2)) / (b / 125) + 250, clamped to 0..255 and
// truncated: what lies at or above the local mean plus half a deviation is
// paper white, darker detail becomes pencil lines, scaled by the wider mean
// so that dark areas do not fill in. Stops after the row during which cancel
// was set (the rows done stay) and returns false then. The grey picture and
// its tables are built in *tables when given, so that a caller that renders
// again at the same size reuses their memory (at 4096 x 3072 the tables
// take 200 MB, and fresh pages cost as much as the sums).
bool SketchKernel(const cv::Mat& src, cv::Mat& dst, const std::atomic<bool>* cancel, GreyTables* tables = nullptr);

// The pencil sketch ("SketchFilter").
class CF_Sketch : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "SketchFilter";

  CF_Sketch();

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;

private:
  GreyTables tables_;
};

}  // namespace grinsnap
