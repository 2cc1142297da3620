#include "filters/multi/multi_src.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

namespace grinsnap {

cv::Mat FitPhotoForWindow(const cv::Mat& photo, int maxSide, bool fill) {
  const int w = photo.cols, h = photo.rows;
  const double side = fill ? std::max(w, h) : std::min(w, h);
  const double scale = std::min(1.0, std::max(1, maxSide) / side);
  const cv::Size size(std::max(1, static_cast<int>(std::lround(w * scale))),
                      std::max(1, static_cast<int>(std::lround(h * scale))));
  cv::Mat bgr;
  ToBgr8(photo, bgr);
  if (bgr.size() == size) return bgr;
  cv::Mat fitted;
  cv::resize(bgr, fitted, size, 0, 0, cv::INTER_LINEAR);
  return fitted;
}

void CF_MultiSrc::SetSources(std::span<const cv::Mat> images) {
  CF_SimpleFilter::SetSources(images);
  // New photos: the windows' pictures are collected again at the next Process.
  holeImages_.clear();
  sourcesFixed_ = false;
}

bool CF_MultiSrc::SizeFromCanvas(const cv::Size* box, cv::Size canvas) {
  if (box) {
    if (canvas.width < 1 || canvas.height < 1) return SizeOutput(box);
    const double scale = std::min(static_cast<double>(box->height) / canvas.height,
                                  static_cast<double>(box->width) / canvas.width);
    const int w = std::max(1, static_cast<int>(std::lround(canvas.width * scale)));
    const int h = std::max(1, static_cast<int>(std::lround(canvas.height * scale)));
    output_.release();
    output_.create(h, w, CV_8UC3);
    return true;
  }
  if (canvas.width < 1 || canvas.height < 1) return false;
  if (!output_.empty() && output_.size() == canvas) return false;
  output_.release();
  output_.create(canvas, CV_8UC3);
  return true;
}

bool CF_MultiSrc::PrepareOutput(const cv::Size* box) {
  const cv::Size canvas = block_ ? cv::Size(block_->frameWidth, block_->frameHeight) : cv::Size();
  const bool replaced = SizeFromCanvas(box, canvas);
  if (!output_.empty()) output_.setTo(cv::Scalar::all(0));
  return replaced;
}

cv::Size* CF_MultiSrc::GetOutputSize(cv::Size* size) {
  if (size) *size = OutputSize();
  return size;
}

void CF_MultiSrc::PlaceInWindow(int window, const cv::Mat& photo, int maxSide) {
  if (window < 0 || photo.empty()) return;
  if (window == 0) {
    ToBgr8(photo, source_);
    return;
  }
  const auto i = static_cast<std::size_t>(window - 1);
  // The windows before it are collected at the next Process.
  if (holeImages_.size() <= i) holeImages_.resize(i + 1);
  holeImages_[i] = FitPhotoForWindow(photo, maxSide, !block_ || block_->fillMode == 0);
  if (extraSources_.size() <= i) extraSources_.resize(i + 1);
  extraSources_[i] = holeImages_[i];
}

}  // namespace grinsnap
