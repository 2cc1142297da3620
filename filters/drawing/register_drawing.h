#pragma once

#include <span>

#include "core/registry.h"

namespace grinsnap {

// The drawing and painting filters, sorted by registered name.
std::span<const ClassEntry> DrawingFilterClasses();

}  // namespace grinsnap
