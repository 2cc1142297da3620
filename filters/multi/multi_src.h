#pragma once

#include <vector>

#include "filters/multi/frame_block.h"
#include "filters/simple_filter.h"

namespace grinsnap {

// The base of the filters that build their picture from several photos
// ("MultiSrcFilter"): it sizes the output from the template's canvas and
// collects one fitted picture per extra window of the template. Its own
// Process draws nothing. Abort sets a stop flag of its own.
class CF_MultiSrc : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "MultiSrcFilter";
  static constexpr FilterTraits kTraits{.ownStopFlag = true, .kernel = false};

  CF_MultiSrc() : CF_MultiSrc(kClassName, kTraits) {}

  void SetSources(std::span<const cv::Mat> images) override;
  // From the canvas of the block (frameWidth x frameHeight): with a box, the
  // canvas scaled to fit it (larger or smaller); without one, the canvas
  // itself. Clears the output to black.
  bool PrepareOutput(const cv::Size* box) override;
  cv::Size* GetOutputSize(cv::Size* size) override;
  void SetFrameBlock(FrameBlock* block) override { block_ = block; }

  FrameBlock* Block() const { return block_; }
  // The collected pictures, one per extra window (empty where none).
  const std::vector<cv::Mat>& HoleImages() const { return holeImages_; }
  bool SourcesFixed() const { return sourcesFixed_; }

protected:
  CF_MultiSrc(const char* className, const FilterTraits& traits) : CF_SimpleFilter(className, traits) {}

  // Sizes output_ from the canvas; returns whether it was replaced.
  bool SizeFromCanvas(const cv::Size* box, cv::Size canvas);
  // Collects the picture of every extra window that has none yet: its photo
  // (or the main source when it has none) fitted into maxSide(window). A
  // window whose photo is missing keeps an empty picture and is drawn grey.
  // Returns false when the stop flag ended it.
  template <typename MaxSide>
  bool CollectHoleImages(int windows, MaxSide&& maxSide);
  // Replaces the picture of one window (a photo dropped on it).
  void PlaceInWindow(int window, const cv::Mat& photo, int maxSide);

  FrameBlock* block_ = nullptr;
  std::vector<cv::Mat> holeImages_;
  bool sourcesFixed_ = false;
};

// A photo fitted for a window whose largest useful side is maxSide: scaled
// by maxSide over its longer side when filling and over its shorter side
// otherwise, never enlarged, each side rounded and at least 1. Bilinear.
cv::Mat FitPhotoForWindow(const cv::Mat& photo, int maxSide, bool fill);

template <typename MaxSide>
bool CF_MultiSrc::CollectHoleImages(int windows, MaxSide&& maxSide) {
  if (block_ && block_->windowPhotos && block_->windowPhotos->size() < static_cast<std::size_t>(windows))
    block_->windowPhotos->resize(static_cast<std::size_t>(windows));
  const bool fill = block_ && block_->fillMode == 0;
  const std::size_t extra = windows > 1 ? static_cast<std::size_t>(windows - 1) : 0;
  holeImages_.resize(extra);
  for (std::size_t i = 0; i < extra; ++i) {
    if (!holeImages_[i].empty()) continue;
    if (StopRequested()) return false;
    const cv::Mat& photo = i < extraSources_.size() && !extraSources_[i].empty() ? extraSources_[i] : source_;
    if (!photo.empty()) holeImages_[i] = FitPhotoForWindow(photo, maxSide(static_cast<int>(i) + 1), fill);
  }
  sourcesFixed_ = true;
  return true;
}

}  // namespace grinsnap
