#pragma once

namespace grinsnap {

// Lets the calling thread yield the processor to everything else (idle
// scheduling where the system allows it). Background work such as
// thumbnails calls it first; nothing depends on it taking effect.
void LowerThreadPriority();

}  // namespace grinsnap
