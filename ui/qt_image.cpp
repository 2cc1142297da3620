#include "ui/qt_image.h"

#include <opencv2/imgproc.hpp>

namespace grinsnap {

QImage ToQImage(const cv::Mat& picture) {
  if (picture.empty() || picture.depth() != CV_8U) return {};
  const auto bytesPerLine = static_cast<qsizetype>(picture.step);
  switch (picture.channels()) {
    case 1: return QImage(picture.data, picture.cols, picture.rows, bytesPerLine, QImage::Format_Grayscale8).copy();
    case 3: return QImage(picture.data, picture.cols, picture.rows, bytesPerLine, QImage::Format_BGR888).copy();
    case 4: {
      cv::Mat rgba;
      cv::cvtColor(picture, rgba, cv::COLOR_BGRA2RGBA);
      return QImage(rgba.data, rgba.cols, rgba.rows, static_cast<qsizetype>(rgba.step), QImage::Format_RGBA8888)
          .copy();
    }
    default: return {};
  }
}

}  // namespace grinsnap
