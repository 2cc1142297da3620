#pragma once

#include <opencv2/core.hpp>

namespace grinsnap {

// One turn of the colour circle as a one-row table (1 x length, CV_32FC3):
// entry i, with a = 2 pi i / length, holds 128 + 128 cos(a), 128 + 128
// cos(a + 2 pi / 3) and 128 + 128 cos(a + 4 pi / 3), each clamped to 0..255,
// for blue, green and red. The sun's rainbow rings and the rainbow arch read
// their colours from it.
cv::Mat ColourCircleRow(int length);

}  // namespace grinsnap
