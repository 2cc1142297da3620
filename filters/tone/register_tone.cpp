#include "filters/tone/register_tone.h"

#include "filters/tone/color.h"
#include "filters/tone/dim.h"
#include "filters/tone/emboss.h"
#include "filters/tone/glow.h"
#include "filters/tone/lomo.h"
#include "filters/tone/mood.h"
#include "filters/tone/moon.h"
#include "filters/tone/sunny.h"

namespace grinsnap {

std::span<const ClassEntry> ToneFilterClasses() {
  // Sorted by registered name; one line per filter.
  static constexpr ClassEntry kClasses[] = {
      Entry<CF_Color>(),      // "ColorFilter"
      Entry<CF_DimEffect>(),  // "DimFilter"
      Entry<CF_Emboss>(),     // "EmbossFilter"
      Entry<CF_Glow>(),       // "GlowFilter"
      Entry<CF_Lomo>(),       // "LomoFilter"
      Entry<CF_Mood>(),       // "MoodFilter"
      Entry<CF_Moon>(),       // "MoonFilter"
      Entry<CF_Sunny>(),      // "SunnyFilter"
  };
  return kClasses;
}

}  // namespace grinsnap
