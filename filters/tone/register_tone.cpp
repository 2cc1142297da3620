#include "filters/tone/register_tone.h"

#include "core/registry.h"
#include "filters/tone/color.h"
#include "filters/tone/dim.h"
#include "filters/tone/emboss.h"
#include "filters/tone/glow.h"
#include "filters/tone/lomo.h"
#include "filters/tone/mood.h"
#include "filters/tone/moon.h"
#include "filters/tone/sunny.h"

namespace grinsnap {

// Sorted by registered name; one line per filter.
void RegisterToneFilters() {
  RegisterClass<CF_Color>();  // "ColorFilter"
  RegisterClass<CF_DimEffect>();  // "DimFilter"
  RegisterClass<CF_Emboss>();  // "EmbossFilter"
  RegisterClass<CF_Glow>();  // "GlowFilter"
  RegisterClass<CF_Lomo>();  // "LomoFilter"
  RegisterClass<CF_Mood>();   // "MoodFilter"
  RegisterClass<CF_Moon>();  // "MoonFilter"
  RegisterClass<CF_Sunny>();  // "SunnyFilter"
}

}  // namespace grinsnap
