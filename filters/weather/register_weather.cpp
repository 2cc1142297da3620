#include "filters/weather/register_weather.h"

#include "filters/weather/mist.h"
#include "filters/weather/moving_shadow.h"
#include "filters/weather/random_wave.h"
#include "filters/weather/shock.h"
#include "filters/weather/tex_blend.h"
#include "filters/weather/water.h"
#include "filters/weather/window.h"

namespace grinsnap {

std::span<const ClassEntry> WeatherFilterClasses() {
  // Sorted by registered name; one line per filter.
  static constexpr ClassEntry kClasses[] = {
      Entry<CF_Mist>(),          // "MistFilter"
      Entry<CF_MovingShadow>(),  // "MovingShadowFilter"
      Entry<CF_RandomWave>(),    // "RandomWaveFilter"
      Entry<CF_Shock>(),         // "ShockFilter"
      Entry<CF_TexBlend>(),      // "TexBlendFilter"
      Entry<CF_Water>(),         // "WaterFilter"
      Entry<CF_Window>(),        // "WindowFilter"
  };
  return kClasses;
}

}  // namespace grinsnap
