#pragma once

namespace grinsnap {

// Registers the colour and tone filters.
void RegisterToneFilters();

}  // namespace grinsnap
