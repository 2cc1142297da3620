#include "filters/image_filter.h"

#include <ctime>

namespace grinsnap {

namespace {
// Set by a front end that wants repeatable pictures (the command line's --seed).
std::atomic<bool> seedFixed{false};
std::atomic<std::uint32_t> fixedSeed{0};
}  // namespace

CImageFilter::CImageFilter(const FilterTraits& traits)
    : traits_(traits), abortFlag_(std::make_shared<std::atomic<bool>>(false)) {
  SetIdentity(ObjectKind::Filter, "CImageFilter");
}

CImageFilter::~CImageFilter() = default;

void CImageFilter::Abort() {
  if (traits_.ownStopFlag)
    ownStop_.store(true, std::memory_order_relaxed);
  else
    abortFlag_->store(true, std::memory_order_relaxed);
  ForEachNested([](CImageFilter& nested) { nested.Abort(); });
}

void CImageFilter::ClearAbort() {
  abortFlag_->store(false, std::memory_order_relaxed);
  ownStop_.store(false, std::memory_order_relaxed);
  ForEachNested([](CImageFilter& nested) { nested.ClearAbort(); });
}

void CImageFilter::JoinAbortTree(const CImageFilter& parent) {
  abortFlag_ = parent.abortFlag_;
  ForEachNested([this](CImageFilter& nested) { nested.JoinAbortTree(*this); });
}

void CImageFilter::Reseed() {
  if (traits_.seeded)
    seed_ = seedFixed.load() ? fixedSeed.load() : static_cast<std::uint32_t>(std::time(nullptr));
  ForEachNested([](CImageFilter& nested) { nested.Reseed(); });
}

void CImageFilter::SetSeed(std::uint32_t seed) {
  seed_ = seed;
  ForEachNested([seed](CImageFilter& nested) { nested.SetSeed(seed); });
}

void SetFixedSeed(std::optional<std::uint32_t> seed) {
  fixedSeed = seed.value_or(0);
  seedFixed = seed.has_value();
}

}  // namespace grinsnap
