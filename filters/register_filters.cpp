#include "filters/register_filters.h"

#include "core/registry.h"
#include "filters/combine.h"
#include "filters/simple_filter.h"
#include "filters/tone/register_tone.h"

namespace grinsnap {

// Sorted by registered name.
void RegisterFilterClasses() {
  RegisterClass<CF_Combine>();       // "CombineFilter"
  RegisterClass<CF_SimpleFilter>();  // "SimpleFilter"
  RegisterToneFilters();
}

}  // namespace grinsnap
