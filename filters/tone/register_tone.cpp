#include "filters/tone/register_tone.h"

#include "core/registry.h"
#include "filters/tone/color.h"

namespace grinsnap {

// Sorted by registered name; one line per filter.
void RegisterToneFilters() {
  RegisterClass<CF_Color>();  // "ColorFilter"
}

}  // namespace grinsnap
