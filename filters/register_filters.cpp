#include "filters/register_filters.h"

#include "filters/combine.h"
#include "filters/drawing/register_drawing.h"
#include "filters/multi/register_multi.h"
#include "filters/simple_filter.h"
#include "filters/tone/register_tone.h"
#include "filters/warp/register_warp.h"
#include "filters/weather/register_weather.h"

namespace grinsnap {

std::span<const ClassEntry> BaseFilterClasses() {
  static constexpr ClassEntry kClasses[] = {
      Entry<CF_Combine>(),       // "CombineFilter"
      Entry<CF_SimpleFilter>(),  // "SimpleFilter"
  };
  return kClasses;
}

std::vector<std::span<const ClassEntry>> FilterClassLists() {
  // One line per family.
  return {BaseFilterClasses(), ToneFilterClasses(), DrawingFilterClasses(), WarpFilterClasses(),
          WeatherFilterClasses(),
          MultiFilterClasses()};
}

}  // namespace grinsnap
