#include "ui/upload_file.h"

#include <algorithm>
#include <cmath>
#include <system_error>
#include <vector>

#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/folders.h"

namespace grinsnap {

cv::Size UploadSize(int width, int height) {
  if (width <= 0 || height <= 0) return {};
  const double scale = std::min({double(kUploadMaxSide) / width, double(kUploadMaxSide) / height, 1.0});
  return {std::max(1, int(std::lround(width * scale))), std::max(1, int(std::lround(height * scale)))};
}

std::filesystem::path UploadFilePath() { return AppDataFolder() / "tmp_upload.jpg"; }

bool MakeUploadFile(const cv::Mat& picture, const std::string& watermark, const std::filesystem::path& target) {
  if (picture.empty() || picture.depth() != CV_8U) return false;
  cv::Mat bgr;
  if (picture.channels() == 1) {
    cv::cvtColor(picture, bgr, cv::COLOR_GRAY2BGR);
  } else if (picture.channels() == 4) {
    cv::cvtColor(picture, bgr, cv::COLOR_BGRA2BGR);
  } else {
    bgr = picture;
  }
  cv::Mat scaled;
  cv::resize(bgr, scaled, UploadSize(bgr.cols, bgr.rows), 0, 0, cv::INTER_LINEAR);
  cv::Mat rgb;
  cv::cvtColor(scaled, rgb, cv::COLOR_BGR2RGB);
  QImage image(rgb.data, rgb.cols, rgb.rows, int(rgb.step), QImage::Format_RGB888);

  if (!watermark.empty()) {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont font("Arial Black");
    double size = std::max(image.height() / 15, 20);
    font.setPixelSize(int(size));
    const QString text = QString::fromStdString(watermark);
    const double textWidth = QFontMetricsF(font).horizontalAdvance(text);
    if (textWidth > image.width()) {
      size = size * image.width() / textWidth;
      font.setPixelSize(std::max(1, int(size)));
    }
    painter.setFont(font);
    painter.setPen(QColor(255, 255, 255, 0x80));
    const QFontMetricsF metrics(font);
    painter.drawText(QPointF(0, image.height() - 1.5 * size + metrics.ascent()), text);
  }

  std::error_code ec;
  if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ec);
  // The painter drew into rgb's pixels; back to the encoder's byte order.
  cv::Mat out;
  cv::cvtColor(rgb, out, cv::COLOR_RGB2BGR);
  try {
    return cv::imwrite(target.string(), out, {cv::IMWRITE_JPEG_QUALITY, 90});
  } catch (const cv::Exception&) {
    return false;
  }
}

}  // namespace grinsnap
