#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "core/data_object.h"

namespace tinyxml2 {
class XMLElement;
}

namespace grinsnap {

// Number of floats in the variable block a simple template hands its filter:
// three template variables, a region of interest and a point.
inline constexpr int kVariableBlockSize = 9;
inline constexpr int kBlockRoiX = 3;
inline constexpr int kBlockRoiY = 4;
inline constexpr int kBlockRoiWidth = 5;
inline constexpr int kBlockRoiHeight = 6;
inline constexpr int kBlockPointX = 7;
inline constexpr int kBlockPointY = 8;

// Base of every filter. A filter reads its parameters from its own `filter`
// element in Load, keeps its own output, and reads the live values of its
// template through the variable block at every Process.
class CImageFilter : public CTemplateObject {
public:
  CImageFilter();
  ~CImageFilter() override;

  void SetSources(std::span<const cv::Mat> images) override = 0;
  void Process() override = 0;
  const cv::Mat* GetOutput() override = 0;

  // Stops a Process running on another thread at its next row: every kernel
  // polls the tree's abort flag.
  void Abort() override { RequestAbort(); }

  // Stores the pointer to the owning template's variable block (not owned).
  virtual void SetVariables(const float* block) { variables_ = block; }
  // Called by the frame template after it rebuilt its block.
  virtual void PublishLayout() {}

  // Fields set by the creation sequence.
  void SetElement(const tinyxml2::XMLElement* element) { element_ = element; }
  const tinyxml2::XMLElement* Element() const { return element_; }
  void SetShareSources(bool share) { shareSources_ = share; }
  bool ShareSources() const { return shareSources_; }
  const float* Variables() const { return variables_; }

  // The abort flag is shared by a filter and the filters nested in it, so
  // that aborting a preview does not cut short a thumbnail rendered on
  // another thread. Nested filters join their parent's flag.
  void JoinAbortTree(const CImageFilter& parent) { abortFlag_ = parent.abortFlag_; }
  void RequestAbort() { abortFlag_->store(true, std::memory_order_relaxed); }
  // Cleared by the engine after it joined its worker.
  void ClearAbort() { abortFlag_->store(false, std::memory_order_relaxed); }
  bool AbortRequested() const { return abortFlag_->load(std::memory_order_relaxed); }
  const std::atomic<bool>* AbortFlag() const { return abortFlag_.get(); }

  // Seeded filters: the seed of the current random variation.
  std::uint32_t Seed() const { return seed_; }
  void SetSeed(std::uint32_t seed) { seed_ = seed; }

protected:
  // Block entry index, or fallback when no block is attached.
  float Var(int index, float fallback) const { return variables_ ? variables_[index] : fallback; }
  // For filters that use random numbers: seed from the calendar time, or
  // from the fixed seed when one is set.
  void ReseedFromClock();

  const tinyxml2::XMLElement* element_ = nullptr;
  const float* variables_ = nullptr;
  bool shareSources_ = false;
  cv::Mat source_;
  cv::Mat output_;
  std::vector<cv::Mat> extraSources_;
  std::uint32_t seed_ = 0;

private:
  std::shared_ptr<std::atomic<bool>> abortFlag_;
};

// Makes every seeded filter take this seed in place of the calendar time
// from its next Reseed on, so that the same seed gives the same picture;
// nullopt goes back to the clock.
void SetFixedSeed(std::optional<std::uint32_t> seed);

}  // namespace grinsnap
