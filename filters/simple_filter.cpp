#include "filters/simple_filter.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "core/xml_params.h"
#include "filters/working_resolution.h"
#include "platform/image_loader.h"

namespace grinsnap {

CF_SimpleFilter::CF_SimpleFilter(const char* className, const FilterTraits& traits) : CImageFilter(traits) {
  SetClassName(className);
}

CF_SimpleFilter::~CF_SimpleFilter() { ReleaseSources(); }

int CF_SimpleFilter::Load() {
  output_.release();
  blankOwed_ = true;
  return 0;
}

void CF_SimpleFilter::MakeOwedOutput() {
  if (output_.empty() && blankOwed_) output_ = cv::Mat::zeros(kDefaultOutputHeight, kDefaultOutputWidth, CV_8UC3);
  blankOwed_ = false;
}

const cv::Mat* CF_SimpleFilter::GetOutput() {
  MakeOwedOutput();
  return output_.empty() ? nullptr : &output_;
}

cv::Size CF_SimpleFilter::OutputSize() const {
  if (output_.empty() && blankOwed_) return {kDefaultOutputWidth, kDefaultOutputHeight};
  return output_.size();
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
  // Sizing is where the owed black output is made, at its size or another.
  const bool owed = blankOwed_ && output_.empty();
  blankOwed_ = false;
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
  if (owed && wanted == cv::Size(kDefaultOutputWidth, kDefaultOutputHeight)) {
    // The output Load gave already had this size: it is made, not replaced.
    output_.setTo(cv::Scalar::all(0));
    return false;
  }
  return true;
}

bool CF_SimpleFilter::PrepareOutput(const cv::Size* box) {
  bool replaced = SizeOutput(box);
  output_.setTo(cv::Scalar::all(0));
  return replaced;
}

const cv::Mat& CF_SimpleFilter::SourceAtOutputSize(cv::Mat& scratch) const {
  return SourceAt(output_.size(), scratch);
}

const cv::Mat& CF_SimpleFilter::SourceAt(cv::Size size, cv::Mat& scratch) const {
  // A shared source is taken as the caller gave it; kernels want 8-bit BGR.
  cv::Mat bgr = source_;
  if (source_.type() != CV_8UC3) ToBgr8(source_, bgr);
  if (bgr.size() == size) {
    if (bgr.data == source_.data) return source_;
    scratch = bgr;
  } else {
    cv::resize(bgr, scratch, size, 0, 0, cv::INTER_LINEAR);
  }
  return scratch;
}

void CF_SimpleFilter::Process() {
  lastRun_ = RenderResult::Done();
  MakeOwedOutput();
  if (!Traits().kernel || (Traits().needsSource && source_.empty()) || output_.empty()) return;
  lastRun_ = Run();
  // A stop that came while the last row was drawn still makes the run
  // incomplete in the caller's eyes: the engine discards it either way.
  if (lastRun_.IsFinished() && StopRequested()) lastRun_ = RenderResult::Stopped();
}

RenderResult CF_SimpleFilter::Run() {
  const double reference = Traits().workingReference;
  cv::Mat scratch;
  if (reference <= 0)
    return RunKernel(SourceAtOutputSize(scratch), output_) ? RenderResult::Done() : RenderResult::Stopped();

  // Strokes and particles keep their size on every photo: the kernel runs
  // on the source at the working resolution, and its picture is then
  // resized into the output.
  const cv::Size size = WorkingResolution(source_.size(), reference);
  if (size.width <= 0 || size.height <= 0) return RenderResult::Done();
  const cv::Mat& working = SourceAt(size, scratch);
  cv::Mat result(size, CV_8UC3, cv::Scalar::all(0));
  if (!RunKernel(working, result)) return RenderResult::Stopped();
  cv::resize(result, output_, output_.size(), 0, 0, cv::INTER_LINEAR);
  return RenderResult::Done();
}

bool CF_SimpleFilter::RunsInBackground() {
  const FilterTraits& traits = Traits();
  switch (traits.background) {
    case Background::Never: return false;
    case Background::Always: return true;
    case Background::AboveSize:
      return OutputSize().width > traits.backgroundLimit || OutputSize().height > traits.backgroundLimit;
    case Background::WhenDelay: {
      int delay = 0;
      ReadAttribute(FirstChild(element_, "param"), "delay", delay);
      return delay == 1;
    }
  }
  return false;
}

}  // namespace grinsnap
