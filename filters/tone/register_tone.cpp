#include "filters/tone/register_tone.h"

#include "core/registry.h"

namespace grinsnap {

// Sorted by registered name; one line per filter.
void RegisterToneFilters() {
}

}  // namespace grinsnap
