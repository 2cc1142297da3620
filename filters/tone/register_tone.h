#pragma once

#include <span>

#include "core/registry.h"

namespace grinsnap {

// The colour and tone filters, sorted by registered name.
std::span<const ClassEntry> ToneFilterClasses();

}  // namespace grinsnap
