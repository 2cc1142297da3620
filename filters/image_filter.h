#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "core/data_object.h"
#include "core/variable_block.h"

namespace tinyxml2 {
class XMLElement;
}

namespace grinsnap {

struct FrameBlock;

// One variable-block entry a filter reads: its index, what it means, the
// value used without a block, and the range of values that make sense.
// Tests and benchmarks take defaults and ranges from here.
struct BlockParam {
  int index;
  const char* name;
  float defaultValue;
  float min;
  float max;
};

// When a filter asks to run on the engine's worker thread.
enum class Background {
  Never,
  Always,
  AboveSize,  // the output is wider or taller than backgroundLimit
  WhenDelay,  // the "param" element's integer attribute "delay" is 1
};

// What a filter declares about itself, once, in its class.
struct FilterTraits {
  // Draws random numbers from the seed of the last Reseed.
  bool seeded = false;
  // Abort sets a stop flag of the filter's own instead of the flag the
  // filter tree shares.
  bool ownStopFlag = false;
  Background background = Background::Never;
  int backgroundLimit = 0;
  // Above 0: the kernel runs at the working resolution for this reference
  // size, not at the output size.
  double workingReference = 0;
  // Reads the template's block beyond the variables (region of interest,
  // point); without a block the template's defaults stand in.
  bool needsBlock = false;
  // Block entries 0 to 2 the kernel reads.
  std::span<const BlockParam> params;
  // False only for the bare simple filter, whose Process does nothing.
  bool kernel = true;
  // Runs only with a source; filters that paint a canvas of their own run
  // without one.
  bool needsSource = true;
};

// Base of every filter. A filter reads its parameters from its own `filter`
// element in Load, keeps its own output, and reads the live values of its
// template through the variable block at every Process.
//
// Cancelling works the same for every filter: Abort (from any thread) sets a
// stop flag that the kernels poll once per row or stroke; a run that sees it
// ends early and reports Cancelled through LastRun. The flag stays set until
// ClearAbort, so a stop that arrives before Process starts is not lost.
class CImageFilter : public CTemplateObject {
public:
  explicit CImageFilter(const FilterTraits& traits = {});
  ~CImageFilter() override;

  void SetSources(std::span<const cv::Mat> images) override = 0;
  void Process() override = 0;
  const cv::Mat* GetOutput() override = 0;

  // Sets the filter's stop flag (its own or the tree's) and passes the stop
  // on to the nested filters.
  void Abort() override;
  // Clears the tree's flag and the own flags of this filter and every
  // filter nested in it.
  void ClearAbort() override;
  RenderResult LastRun() const override { return lastRun_; }
  // New random variations: seeded filters take the clock's seed (or the
  // fixed seed); nested filters follow.
  void Reseed() override;
  void SetSeed(std::uint32_t seed) override;

  // Stores the view of the owning template's variable block (not owned).
  virtual void SetVariables(VariableBlock block) { variables_ = block; }
  // The frame, collage and 3D templates' longer block (not owned); only the
  // multi-source filters read it.
  virtual void SetFrameBlock(FrameBlock* block) { (void)block; }
  // Called by the frame template after it rebuilt its block.
  virtual void PublishLayout() {}
  // Visits each filter nested directly in this one (chains, windows).
  virtual void ForEachNested(const std::function<void(CImageFilter&)>& visit) { (void)visit; }

  const FilterTraits& Traits() const { return traits_; }

  // Fields set by the creation sequence.
  void SetElement(const tinyxml2::XMLElement* element) { element_ = element; }
  const tinyxml2::XMLElement* Element() const { return element_; }
  void SetShareSources(bool share) { shareSources_ = share; }
  bool ShareSources() const { return shareSources_; }
  VariableBlock Variables() const { return variables_; }

  // The abort flag is shared by a filter and every filter nested in it, so
  // that aborting a preview does not cut short a thumbnail rendered on
  // another thread. A nested filter joins its parent's tree, and so does
  // everything nested in it.
  void JoinAbortTree(const CImageFilter& parent);
  bool AbortRequested() const { return abortFlag_->load(std::memory_order_relaxed); }
  const std::atomic<bool>* AbortFlag() const { return abortFlag_.get(); }

  std::uint32_t Seed() const { return seed_; }

protected:
  // The flag this filter's kernels poll.
  const std::atomic<bool>* StopFlag() const { return traits_.ownStopFlag ? &ownStop_ : abortFlag_.get(); }
  bool StopRequested() const { return StopFlag()->load(std::memory_order_relaxed); }
  // Block entry index, or fallback when the block has no such entry.
  float Var(int index, float fallback) const { return variables_.Get(index, fallback); }
  // A declared parameter's live value.
  float Param(const BlockParam& param) const { return Var(param.index, param.defaultValue); }

  const tinyxml2::XMLElement* element_ = nullptr;
  VariableBlock variables_;
  bool shareSources_ = false;
  cv::Mat source_;
  cv::Mat output_;
  std::vector<cv::Mat> extraSources_;
  std::uint32_t seed_ = 0;
  RenderResult lastRun_;

private:
  FilterTraits traits_;
  std::shared_ptr<std::atomic<bool>> abortFlag_;
  std::atomic<bool> ownStop_{false};
};

// Makes every seeded filter take this seed in place of the calendar time
// from its next Reseed on, so that the same seed gives the same picture;
// nullopt goes back to the clock.
void SetFixedSeed(std::optional<std::uint32_t> seed);

}  // namespace grinsnap
