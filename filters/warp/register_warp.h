#pragma once

#include <span>

#include "core/registry.h"

namespace grinsnap {

// The warp, weather and texture filters, sorted by registered name.
std::span<const ClassEntry> WarpFilterClasses();

}  // namespace grinsnap
