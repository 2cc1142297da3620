#pragma once

// The triangle rasteriser the mesh renderer draws with, also used directly
// by effects that draw their own triangles in pixel coordinates.
//
// Conventions, fixed once for every mesh file and every 3D template:
// - Winding is judged on the target image as it is shown (its y axis
//   pointing down): "clockwise" and "counter-clockwise" are what a viewer of
//   the picture sees. Models wind every face counter-clockwise as seen from
//   outside, so CullMode::Clockwise (a 3D template's cull="cw") drops the
//   faces turned away from the camera and CullMode::CounterClockwise
//   (cull="ccw") drops the faces turned towards it.
// - Edge rule (top-left): a pixel is covered when its centre (column + 0.5,
//   row + 0.5) lies inside the triangle; a centre exactly on an edge belongs
//   to the triangle when the edge is a left edge or a horizontal top edge,
//   so two triangles that share an edge never both draw a pixel of it and
//   never both leave it out.

#include <algorithm>
#include <cmath>
#include <cstdint>

#include <opencv2/core.hpp>

namespace grinsnap {

enum class CullMode : std::int32_t {
  None = 0,
  CounterClockwise = 1,  // drops triangles that appear counter-clockwise
  Clockwise = 2,         // drops triangles that appear clockwise
};

// Maps projected coordinates (X, Y) to target pixels:
// column = originX + X * scaleX, row = originY + Y * scaleY.
struct ScreenMapping {
  float originX = 0;
  float originY = 0;
  float scaleX = 1;
  float scaleY = 1;
};

// A triangle corner as the rasteriser takes it: projected X, Y and 1/z,
// where z is the corner's depth in front of the camera.
struct ProjectedCorner {
  float x;
  float y;
  float inverseZ;
};

namespace raster_detail {

// ceil(v) limited to lo .. hi; NaN gives lo. Screen positions of corners
// near the camera can be far beyond any int.
inline int CeilWithin(float v, int lo, int hi) {
  if (!(v > static_cast<float>(lo))) return lo;
  if (v >= static_cast<float>(hi)) return hi;
  return std::max(lo, std::min(hi, static_cast<int>(std::ceil(v))));
}

}  // namespace raster_detail

// Draws one triangle into a target of the given size: calls
// fragment(column, row, beta, gamma) for every covered pixel, where beta and
// gamma are the weights of corners 2 and 3 at which the viewing ray through
// the pixel's centre meets the triangle, so that a value A interpolates as
// A1 + beta (A2 - A1) + gamma (A3 - A1), exactly perspective-correct.
// Pixels are visited row by row, top to bottom, left to right.
//
// Skipped, returning false: triangles whose three corners all lie behind the
// camera (1/z below 0), corners that do not project to finite positions,
// triangles without height or area, and those the cull mode drops. A
// triangle partly behind the camera is drawn as it projects.
template <typename Fragment>
bool RasteriseTriangle(const ProjectedCorner (&corner)[3], const ScreenMapping& map, cv::Size target, CullMode cull,
                       Fragment&& fragment) {
  if (corner[0].inverseZ < 0 && corner[1].inverseZ < 0 && corner[2].inverseZ < 0) return false;
  float sx[3], sy[3], cx[3], cy[3], cz[3];
  for (int k = 0; k < 3; ++k) {
    sx[k] = map.originX + corner[k].x * map.scaleX;
    sy[k] = map.originY + corner[k].y * map.scaleY;
    // The corner in camera space: the projection undone.
    cz[k] = 1.0f / corner[k].inverseZ;
    cx[k] = corner[k].x * cz[k];
    cy[k] = corner[k].y * cz[k];
    if (!std::isfinite(sx[k]) || !std::isfinite(sy[k]) || !std::isfinite(cx[k]) || !std::isfinite(cy[k]) ||
        !std::isfinite(cz[k]))
      return false;
  }
  const float top = std::min({sy[0], sy[1], sy[2]});
  const float bottom = std::max({sy[0], sy[1], sy[2]});
  if (!(bottom - top > 0.0f)) return false;
  // Positive: clockwise on the target (its y axis points down).
  const float area = (sx[1] - sx[0]) * (sy[2] - sy[0]) - (sx[2] - sx[0]) * (sy[1] - sy[0]);
  if (area == 0.0f) return false;
  if (cull == CullMode::CounterClockwise && area < 0.0f) return false;
  if (cull == CullMode::Clockwise && area > 0.0f) return false;

  // Corners sorted top to bottom. Every edge is walked from its upper to its
  // lower corner, so a shared edge is computed the same way by both of its
  // triangles.
  // Three compare-and-swaps; corners of equal height keep their order.
  int order[3] = {0, 1, 2};
  if (sy[order[1]] < sy[order[0]]) std::swap(order[0], order[1]);
  if (sy[order[2]] < sy[order[1]]) std::swap(order[1], order[2]);
  if (sy[order[1]] < sy[order[0]]) std::swap(order[0], order[1]);
  const float xa = sx[order[0]], ya = sy[order[0]];
  const float xb = sx[order[1]], yb = sy[order[1]];
  const float xc = sx[order[2]], yc = sy[order[2]];
  const float slopeAC = (xc - xa) / (yc - ya);
  const float slopeAB = yb > ya ? (xb - xa) / (yb - ya) : 0.0f;
  const float slopeBC = yc > yb ? (xc - xb) / (yc - yb) : 0.0f;

  // Constant parts of the ray-triangle equations.
  const float dx2 = cx[1] - cx[0], dx3 = cx[2] - cx[0];
  const float dy2 = cy[1] - cy[0], dy3 = cy[2] - cy[0];
  const float dz2 = cz[1] - cz[0], dz3 = cz[2] - cz[0];
  const float inverseScaleX = 1.0f / map.scaleX;
  const float inverseScaleY = 1.0f / map.scaleY;

  const int firstRow = raster_detail::CeilWithin(ya - 0.5f, 0, target.height);
  const int endRow = raster_detail::CeilWithin(yc - 0.5f, 0, target.height);
  for (int row = firstRow; row < endRow; ++row) {
    const float centreY = static_cast<float>(row) + 0.5f;
    const float longX = xa + (centreY - ya) * slopeAC;
    const float shortX = centreY < yb ? xa + (centreY - ya) * slopeAB : xb + (centreY - yb) * slopeBC;
    const float left = std::min(longX, shortX);
    const float right = std::max(longX, shortX);
    const int firstColumn = raster_detail::CeilWithin(left - 0.5f, 0, target.width);
    const int endColumn = raster_detail::CeilWithin(right - 0.5f, 0, target.width);
    if (firstColumn >= endColumn) continue;

    // beta ((x2 - x1) - X (z2 - z1)) + gamma ((x3 - x1) - X (z3 - z1)) = X z1 - x1,
    // and the same with y and Y: the parts that depend on Y only.
    const float projectedY = (centreY - map.originY) * inverseScaleY;
    const float a21 = dy2 - projectedY * dz2;
    const float a22 = dy3 - projectedY * dz3;
    const float b2 = projectedY * cz[0] - cy[0];
    // The weights of a run of pixels are worked out together before their
    // fragments, so that the divisions of neighbouring pixels overlap
    // instead of waiting on one another.
    constexpr int kRun = 16;
    float betas[kRun], gammas[kRun];
    bool solvable[kRun];
    for (int start = firstColumn; start < endColumn; start += kRun) {
      const int n = std::min(kRun, endColumn - start);
      for (int i = 0; i < n; ++i) {
        const float projectedX = (static_cast<float>(start + i) + 0.5f - map.originX) * inverseScaleX;
        const float a11 = dx2 - projectedX * dz2;
        const float a12 = dx3 - projectedX * dz3;
        const float b1 = projectedX * cz[0] - cx[0];
        const float det = a11 * a22 - a12 * a21;
        solvable[i] = det != 0.0f;
        const float inverseDet = 1.0f / det;
        betas[i] = (b1 * a22 - a12 * b2) * inverseDet;
        gammas[i] = (a11 * b2 - b1 * a21) * inverseDet;
      }
      for (int i = 0; i < n; ++i)
        if (solvable[i]) fragment(start + i, row, betas[i], gammas[i]);
    }
  }
  return true;
}

}  // namespace grinsnap
