#pragma once

#include <span>

#include "core/registry.h"

namespace grinsnap {

// The multi-source filters, sorted by registered name.
std::span<const ClassEntry> MultiFilterClasses();

}  // namespace grinsnap
