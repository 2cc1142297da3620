#include "filters/drawing/register_drawing.h"

#include "filters/drawing/carbon_draw.h"
#include "filters/drawing/cartoon.h"
#include "filters/drawing/chalk.h"
#include "filters/drawing/contour_line.h"
#include "filters/drawing/edge.h"
#include "filters/drawing/hard_pastel.h"
#include "filters/drawing/oil_paint.h"
#include "filters/drawing/paint.h"
#include "filters/drawing/profile.h"
#include "filters/drawing/sketch.h"
#include "filters/drawing/stroke_sketch.h"
#include "filters/drawing/water_paint.h"
#include "filters/drawing/wax_pen.h"
#include "filters/drawing/wood_print.h"

namespace grinsnap {

std::span<const ClassEntry> DrawingFilterClasses() {
  // Sorted by registered name; one line per filter.
  static constexpr ClassEntry kClasses[] = {
      Entry<CF_CarbonDraw>(),    // "CarbonDrawFilter"
      Entry<CF_Cartoon>(),       // "CartoonFilter"
      Entry<CF_Chalk>(),         // "ChalkFilter"
      Entry<CF_ContourLine>(),   // "ContourLineFilter"
      Entry<CF_Edge>(),          // "EdgeFilter"
      Entry<CF_HardPastel>(),    // "HardPastelFilter"
      Entry<CF_OilPaint>(),      // "OilPaintFilter"
      Entry<CF_Paint>(),         // "PaintFilter"
      Entry<CF_Profile>(),       // "ProfileFilter"
      Entry<CF_Sketch>(),        // "SketchFilter"
      Entry<CF_StrokeSketch>(),  // "StrokeSketchFilter"
      Entry<CF_WaterPaint>(),    // "WaterPaintFilter"
      Entry<CF_WaxPen>(),        // "WaxPenFilter"
      Entry<CF_WoodPrint>(),     // "WoodPrintFilter"
  };
  return kClasses;
}

}  // namespace grinsnap
