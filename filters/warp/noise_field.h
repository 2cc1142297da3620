#pragma once

#include <opencv2/core.hpp>

#include "platform/crt_random.h"

namespace grinsnap {

// Fills field (one-channel float; its size is set by the caller) with a
// smooth random field of about cellsX x cellsY cells, values around 0.5:
//
// 1. The big size P x Q is the field's size rounded up to powers of two; the
//    small size w x h is cellsX x cellsY rounded up to powers of two, each
//    at most P / 2 (Q / 2) and at least 2 (the big size grows to the small
//    one for fields narrower than 2).
// 2. A w x h grid is filled with rand() / 32767, column by column (the
//    outer loop over the columns, the inner over the rows): w h draws.
// 3. Its forward DFT loses every coefficient whose frequency (fx, fy) -
//    column / w and row / h, each less 1 above 0.5 - lies beyond 0.5 of the
//    origin (fx^2 + fy^2 > 0.25).
// 4. The four quadrants of that spectrum go to the four corners of a P x Q
//    spectrum that is zero elsewhere; the real part of its inverse DFT,
//    scaled by 1 / (w h), is the grid's band-limited interpolation, P / w
//    by Q / h pixels per cell.
// 5. The cut-out: the top-left P cellsX / w x Q cellsY / h pixels (rounded,
//    at least 1 and at most P x Q) hold cellsX x cellsY cells; they are
//    resized (bilinear) into the field.
//
// The inverse transform is computed one direction at a time over the rows
// and columns that carry coefficients or lie in the cut-out, which is the
// same sum as the whole P x Q transform at a fraction of its memory.
void NoiseField(cv::Mat& field, double cellsX, double cellsY, CrtRandom& random);

// A noise field of the given size and cells made at most maxSide pixels on
// its shorter side and enlarged (bilinear): for effects whose noise is
// smooth over many pixels, where the field's own resolution adds nothing
// and its cost would grow with the picture. The same draws as NoiseField.
cv::Mat NoiseFieldAtMost(cv::Size size, int maxSide, double cellsX, double cellsY, CrtRandom& random);

}  // namespace grinsnap
