#pragma once

#include "filters/image_filter.h"

namespace grinsnap {

// The common base of most filters: takes (copies of) its sources, sizes its
// output from the source and the requested box, and gives each kernel the
// source resized to the output size. Registered as "SimpleFilter", where its
// Process does nothing.
class CF_SimpleFilter : public CImageFilter {
public:
  static constexpr const char* kClassName = "SimpleFilter";

  CF_SimpleFilter();
  ~CF_SimpleFilter() override;

  // Creates the 800 x 600 black output.
  int Load() override;
  void SetSources(std::span<const cv::Mat> images) override;
  void Process() override {}
  const cv::Mat* GetOutput() override { return output_.empty() ? nullptr : &output_; }
  // Sizes the output (never larger than the source), then clears it to black.
  bool PrepareOutput(const cv::Size* box) override;

  const cv::Mat& Source() const { return source_; }
  const std::vector<cv::Mat>& ExtraSources() const { return extraSources_; }

protected:
  // Sizes output_ without clearing it; returns whether it was replaced.
  bool SizeOutput(const cv::Size* box);
  // The source resized (bilinear) to the output size, into dst.
  void ResizeSourceToOutput(cv::Mat& dst) const;
  // The source at the output size for kernels that only read it: the source
  // itself when the sizes match, else resized into scratch.
  const cv::Mat& SourceAtOutputSize(cv::Mat& scratch) const;
  void ReleaseSources();
};

// The default output of a filter that has not been sized yet.
inline constexpr int kDefaultOutputWidth = 800;
inline constexpr int kDefaultOutputHeight = 600;

// Size of a picture scaled down to fit a box: factor min(box.h / h, box.w / w)
// capped at 1, each side rounded to the nearest integer.
cv::Size FitWithoutEnlarging(cv::Size picture, cv::Size box);

// Converts any picture to 8-bit BGR (grey, BGRA and deeper pictures alike).
void ToBgr8(const cv::Mat& in, cv::Mat& out);

}  // namespace grinsnap
