#pragma once

#include <QImage>

#include <opencv2/core.hpp>

namespace grinsnap {

// A picture (8-bit; grey, BGR or BGRA) as a QImage that owns its pixels;
// a null image for anything else.
QImage ToQImage(const cv::Mat& picture);

}  // namespace grinsnap
