#pragma once

#include <span>

#include "core/registry.h"

namespace grinsnap {

// The weather, water and texture filters whose surfaces are drawn here:
// mist, shock waves, random waves, texture particles, water, windows and
// moving shadows, sorted by registered name.
std::span<const ClassEntry> WeatherFilterClasses();

}  // namespace grinsnap
