#pragma once

#include <array>
#include <memory>
#include <vector>

#include "filters/image_filter.h"

namespace grinsnap {

// Runs several filters one after another, each on the previous one's
// output. Each nested filter's "comp" element maps the chain's variables to
// its own: "var1".."var3" index the chain's block (-1 when missing or out of
// range) and "def1".."def3" stand in for the unmapped ones.
class CF_Combine : public CImageFilter {
public:
  static constexpr const char* kClassName = "CombineFilter";
  // Abort sets the chain's own flag, which ends the chain after the filter
  // that is running, and stops that filter too.
  static constexpr FilterTraits kTraits{.ownStopFlag = true};

  struct Link {
    std::unique_ptr<CImageFilter> filter;
    std::array<int, 3> index = {-1, -1, -1};
    std::array<float, 3> defaults = {0, 0, 0};
  };

  CF_Combine();
  ~CF_Combine() override;

  int Load() override;
  void SetSources(std::span<const cv::Mat> images) override;
  void Process() override;
  const cv::Mat* GetOutput() override;
  bool PrepareOutput(const cv::Size* box) override;
  bool RunsInBackground() override;
  void ForEachNested(const std::function<void(CImageFilter&)>& visit) override;

  const std::vector<Link>& Links() const { return links_; }

private:
  std::vector<Link> links_;
  bool hasBox_ = false;
  cv::Size box_;
  std::array<float, kVariableBlockSize> linkBlock_{};
};

}  // namespace grinsnap
