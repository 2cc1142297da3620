#pragma once

#include <span>
#include <vector>

#include "core/registry.h"

namespace grinsnap {

// The base filters of every family (the bare simple filter, the chain),
// sorted by registered name.
std::span<const ClassEntry> BaseFilterClasses();

// Every filter registration list: the base filters, then one per family.
std::vector<std::span<const ClassEntry>> FilterClassLists();

}  // namespace grinsnap
