#include "filters/image_filter.h"

#include <ctime>

namespace grinsnap {

CImageFilter::CImageFilter() : abortFlag_(std::make_shared<std::atomic<bool>>(false)) {
  SetIdentity(ObjectKind::Filter, "CImageFilter");
}

CImageFilter::~CImageFilter() = default;

namespace {
// Set by a front end that wants repeatable pictures (the command line's --seed).
std::atomic<bool> seedFixed{false};
std::atomic<std::uint32_t> fixedSeed{0};
}  // namespace

void CImageFilter::ReseedFromClock() {
  seed_ = seedFixed.load() ? fixedSeed.load() : static_cast<std::uint32_t>(std::time(nullptr));
}

void SetFixedSeed(std::optional<std::uint32_t> seed) {
  fixedSeed = seed.value_or(0);
  seedFixed = seed.has_value();
}

}  // namespace grinsnap
