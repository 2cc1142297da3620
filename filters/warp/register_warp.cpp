#include "filters/warp/register_warp.h"

#include "filters/warp/grid.h"
#include "filters/warp/inversion.h"
#include "filters/warp/mosaic.h"
#include "filters/warp/perlin_tex.h"
#include "filters/warp/punch.h"
#include "filters/warp/rain.h"
#include "filters/warp/rainbow.h"
#include "filters/warp/sine.h"
#include "filters/warp/snow.h"
#include "filters/warp/wave.h"

namespace grinsnap {

std::span<const ClassEntry> WarpFilterClasses() {
  // Sorted by registered name; one line per filter.
  static constexpr ClassEntry kClasses[] = {
      Entry<CF_Grid>(),       // "GridFilter"
      Entry<CF_Inversion>(),  // "InversionFilter"
      Entry<CF_Mosaic>(),     // "MosaicFilter"
      Entry<CF_PerlinTex>(),  // "PerlinTexFilter"
      Entry<CF_Punch>(),      // "PunchFilter"
      Entry<CF_Rain>(),       // "RainFilter"
      Entry<CF_Rainbow>(),    // "RainbowFilter"
      Entry<CF_Sine>(),       // "SineFilter"
      Entry<CF_Snow>(),       // "SnowFilter"
      Entry<CF_Wave>(),       // "WaveFilter"
  };
  return kClasses;
}

}  // namespace grinsnap
