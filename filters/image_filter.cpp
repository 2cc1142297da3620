#include "filters/image_filter.h"

#include <ctime>

namespace grinsnap {

CImageFilter::CImageFilter() : abortFlag_(std::make_shared<std::atomic<bool>>(false)) {
  SetIdentity(ObjectKind::Filter, "CImageFilter");
}

CImageFilter::~CImageFilter() = default;

void CImageFilter::ReseedFromClock() {
  seed_ = static_cast<std::uint32_t>(std::time(nullptr));
}

}  // namespace grinsnap
