#include "filters/simple_filter.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

namespace grinsnap {

CF_SimpleFilter::CF_SimpleFilter() { SetClassName(kClassName); }

CF_SimpleFilter::~CF_SimpleFilter() { ReleaseSources(); }

int CF_SimpleFilter::Load() {
  output_ = cv::Mat::zeros(kDefaultOutputHeight, kDefaultOutputWidth, CV_8UC3);
  return 0;
}

void CF_SimpleFilter::ReleaseSources() {
  // Shared sources belong to the caller: only the headers are dropped.
  source_.release();
  extraSources_.clear();
}

void ToBgr8(const cv::Mat& in, cv::Mat& out) {
  cv::Mat eight;
  if (in.depth() == CV_8U) {
    eight = in;
  } else {
    // Deeper pictures are scaled to 0..255 from their natural range.
    double scale = 1.0;
    switch (in.depth()) {
      case CV_16U: scale = 255.0 / 65535.0; break;
      case CV_16S: scale = 255.0 / 32767.0; break;
      case CV_32F:
      case CV_64F: scale = 255.0; break;
      default: break;
    }
    in.convertTo(eight, CV_8U, scale);
  }
  switch (eight.channels()) {
    case 1: cv::cvtColor(eight, out, cv::COLOR_GRAY2BGR); break;
    case 4: cv::cvtColor(eight, out, cv::COLOR_BGRA2BGR); break;
    case 3: eight.copyTo(out); break;
    default: {
      std::vector<cv::Mat> planes;
      cv::split(eight, planes);
      planes.resize(3, cv::Mat::zeros(eight.size(), CV_8U));
      cv::merge(planes, out);
    }
  }
}

void CF_SimpleFilter::SetSources(std::span<const cv::Mat> images) {
  ReleaseSources();
  if (images.empty() || images.front().empty()) return;
  for (std::size_t i = 0; i < images.size(); ++i) {
    cv::Mat taken;
    if (shareSources_ || images[i].empty())
      taken = images[i];
    else
      ToBgr8(images[i], taken);  // a deep copy of the picture's region
    if (i == 0)
      source_ = taken;
    else
      extraSources_.push_back(taken);
  }
}

cv::Size FitWithoutEnlarging(cv::Size picture, cv::Size box) {
  double scale = std::min(static_cast<double>(box.height) / picture.height,
                          static_cast<double>(box.width) / picture.width);
  scale = std::min(scale, 1.0);
  // A side never rounds down to nothing: an empty output would be useless.
  int width = std::max(1, static_cast<int>(std::lround(picture.width * scale)));
  int height = std::max(1, static_cast<int>(std::lround(picture.height * scale)));
  return {width, height};
}

bool CF_SimpleFilter::SizeOutput(const cv::Size* box) {
  cv::Size wanted;
  if (box) {
    wanted = source_.empty() ? *box : FitWithoutEnlarging(source_.size(), *box);
    output_.release();
    output_.create(std::max(wanted.height, 1), std::max(wanted.width, 1), CV_8UC3);
    return true;
  }
  wanted = source_.empty() ? cv::Size(kDefaultOutputWidth, kDefaultOutputHeight) : source_.size();
  if (!output_.empty() && output_.size() == wanted) return false;
  output_.release();
  output_.create(wanted, CV_8UC3);
  return true;
}

bool CF_SimpleFilter::PrepareOutput(const cv::Size* box) {
  bool replaced = SizeOutput(box);
  output_.setTo(cv::Scalar::all(0));
  return replaced;
}

void CF_SimpleFilter::ResizeSourceToOutput(cv::Mat& dst) const {
  // A shared source is taken as the caller gave it; kernels want 8-bit BGR.
  cv::Mat bgr;
  if (source_.type() == CV_8UC3)
    bgr = source_;
  else
    ToBgr8(source_, bgr);
  if (bgr.size() == output_.size())
    bgr.copyTo(dst);
  else
    cv::resize(bgr, dst, output_.size(), 0, 0, cv::INTER_LINEAR);
}

const cv::Mat& CF_SimpleFilter::SourceAtOutputSize(cv::Mat& scratch) const {
  if (source_.size() == output_.size() && source_.type() == CV_8UC3) return source_;
  ResizeSourceToOutput(scratch);
  return scratch;
}

}  // namespace grinsnap
