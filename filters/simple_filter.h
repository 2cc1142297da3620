#pragma once

#include "filters/image_filter.h"

namespace grinsnap {

// The common base of most filters. It takes (copies of) its sources, sizes
// its output from the source and the requested box, and owns Process: the
// source goes to the kernel at the output size, or at the working
// resolution the filter declares, and how the kernel ended becomes the run's
// outcome. A filter declares its traits, reads its parameters in Load and
// writes its kernel call in RunKernel. Registered as "SimpleFilter", where
// Process does nothing.
class CF_SimpleFilter : public CImageFilter {
public:
  static constexpr const char* kClassName = "SimpleFilter";
  static constexpr FilterTraits kTraits{.kernel = false};

  CF_SimpleFilter() : CF_SimpleFilter(kClassName, kTraits) {}
  ~CF_SimpleFilter() override;

  // Gives the filter its 800 x 600 black output. The picture itself is made
  // only when it is first asked for or sized: a document may hold hundreds
  // of filters, and loading them must not cost a picture each.
  int Load() override;
  void SetSources(std::span<const cv::Mat> images) override;
  void Process() final;
  const cv::Mat* GetOutput() override;
  // Sizes the output (never larger than the source), then clears it to black.
  bool PrepareOutput(const cv::Size* box) override;
  // By the declared rule.
  bool RunsInBackground() override;

  const cv::Mat& Source() const { return source_; }
  const std::vector<cv::Mat>& ExtraSources() const { return extraSources_; }

protected:
  CF_SimpleFilter(const char* className, const FilterTraits& traits);

  // The kernel: from in (8-bit BGR at the kernel's size) into out (the same
  // size, 8-bit BGR, black). Returns false when it stopped early because the
  // stop flag was set. A kernel that cannot run throws; the render then
  // fails with its message.
  virtual bool RunKernel(const cv::Mat& in, cv::Mat& out) {
    (void)in, (void)out;
    return true;
  }
  // One run with a source and an output. Filters with other inputs (several
  // pictures, a canvas) replace it; the default feeds RunKernel.
  virtual RenderResult Run();

  // Sizes output_ without clearing it; returns whether it was replaced.
  bool SizeOutput(const cv::Size* box);
  // The output's size, also while the black output of Load is not made yet.
  cv::Size OutputSize() const;
  // The source at the output size for kernels that only read it: the source
  // itself when the sizes match, else resized (bilinear) into scratch.
  const cv::Mat& SourceAtOutputSize(cv::Mat& scratch) const;
  // The source at any size, likewise.
  const cv::Mat& SourceAt(cv::Size size, cv::Mat& scratch) const;
  void ReleaseSources();

private:
  void MakeOwedOutput();
  // Load's black output is owed but not made yet.
  bool blankOwed_ = false;
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
