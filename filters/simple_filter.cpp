#include "filters/simple_filter.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "platform/image_loader.h"

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
  cv::Mat converted = ToEightBitColour(in, false);
  // An 8-bit BGR picture comes back as it is; the caller wants its own copy.
  out = converted.data == in.data ? in.clone() : converted;
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
