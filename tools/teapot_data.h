#pragma once

// Martin Newell's teapot (1975, public domain): 32 bicubic Bezier patches
// over 306 control points, in its own coordinates (z up, the spout towards
// +x, the bottom at z = 0). Each patch lists 4 x 4 control points row by
// row; along a row the surface goes around the pot (or across the tube of
// the handle and the spout), from row to row it goes down the pot, out from
// the middle of the lid and the bottom, or along the tube.
//
// Patches 0-3 are the rim, 4-11 the body, 12-15 the handle, 16-19 the spout,
// 20-27 the lid and 28-31 the bottom.

namespace grinsnap::meshes {

inline constexpr int kTeapotPatches = 32;
inline constexpr int kTeapotControlPoints = 306;

extern const int kTeapotPatch[kTeapotPatches][16];
extern const float kTeapotPoint[kTeapotControlPoints][3];

}  // namespace grinsnap::meshes
