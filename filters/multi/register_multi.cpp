#include "filters/multi/register_multi.h"

#include "filters/multi/collage.h"
#include "filters/multi/collage_3d.h"
#include "filters/multi/frame.h"
#include "filters/multi/multi_src.h"
#include "filters/multi/teapot.h"

namespace grinsnap {

std::span<const ClassEntry> MultiFilterClasses() {
  // Sorted by registered name; one line per filter.
  static constexpr ClassEntry kClasses[] = {
      Entry<CF_3DCollage>(),  // "3DCollageFilter"
      Entry<CF_Collage>(),    // "CollageFilter"
      Entry<CF_Collage2>(),   // "CollageFilter2"
      Entry<CF_Frame>(),      // "FrameFilter"
      Entry<CF_MultiSrc>(),   // "MultiSrcFilter"
      Entry<CF_Teapot>(),     // "TeapotFilter"
  };
  return kClasses;
}

}  // namespace grinsnap
