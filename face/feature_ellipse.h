#pragma once

#include <vector>

#include <opencv2/core/types.hpp>

#include "face/face_state.h"

namespace grinsnap {

// A feature as the editor shows it: an ellipse with semi-axes a and b, turned
// by angle (radians) about its centre. Its quad is the ellipse's sheared
// bounding box enlarged by 1.2.
struct FeatureEllipse {
  double a = 0, b = 0, angle = 0;
  double cx = 0, cy = 0;
};

// The ellipse of a quad with vertical left and right edges (the edges'
// means are used for any other quad).
FeatureEllipse QuadToEllipse(const FeatureQuad& quad);
// The quad of an ellipse; all four corners at the centre when a semi-axis is zero.
FeatureQuad EllipseToQuad(const FeatureEllipse& ellipse);
// 100 points around the ellipse, the first at angle 0 of its own frame.
std::vector<cv::Point2f> EllipsePolygon(const FeatureEllipse& ellipse);
inline constexpr int kEllipsePolygonPoints = 100;
// The point at (i, j) in the ellipse's own frame, in semi-axis units (the
// editor's handles sit at i, j in -1, 0, 1).
cv::Point2f EllipsePoint(const FeatureEllipse& ellipse, double i, double j);

}  // namespace grinsnap
