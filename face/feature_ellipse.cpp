#include "face/feature_ellipse.h"

#include <cmath>

namespace grinsnap {

namespace {

// The quad is the ellipse's box enlarged by this.
constexpr double kQuadMargin = 1.2;

}  // namespace

FeatureEllipse QuadToEllipse(const FeatureQuad& quad) {
  const cv::Point2d tl = quad.At(FeatureQuad::kTopLeft), tr = quad.At(FeatureQuad::kTopRight);
  const cv::Point2d br = quad.At(FeatureQuad::kBottomRight), bl = quad.At(FeatureQuad::kBottomLeft);
  const double l = (tr.x + br.x) / 2, m = (tl.x + bl.x) / 2;  // right and left edge
  const double o = (l - m) / 2;
  const double w = ((br.y + bl.y) / 2 - (tl.y + tr.y) / 2) / 2;
  const double r = (tr.y + br.y) / 2, s = (tl.y + bl.y) / 2;
  const double k = l == m ? 0 : (r - s) / (l - m);

  // The conic Cx x^2 + Cxy x y + Cy y^2 = 1 of (x / o)^2 + ((y - k x) / w)^2 = 1.
  double cx2 = 0, cxy = 0, cy2 = 0;
  if (o != 0 && w != 0) {
    cx2 = k * k / (w * w) + 1 / (o * o);
    cxy = -2 * k / (w * w);
    cy2 = 1 / (w * w);
  }
  // Its principal values and the direction of the first axis.
  const double i = std::sqrt(cxy * cxy + (cx2 - cy2) * (cx2 - cy2)) - (cx2 - cy2);
  double d = cy2, g = cx2;
  if (i != 0) {
    d = (2 * cy2 * i + cxy * cxy) / (2 * i);
    g = (2 * cx2 * i - cxy * cxy) / (2 * i);
  }
  FeatureEllipse e;
  e.a = d == 0 ? 0 : std::sqrt(1 / d) / kQuadMargin;
  e.b = g == 0 ? 0 : std::sqrt(1 / g) / kQuadMargin;
  e.angle = cxy == 0 ? CV_PI / 2 : std::atan(i / cxy);
  e.cx = (l + m) / 2;
  e.cy = (r + s) / 2;
  return e;
}

FeatureQuad EllipseToQuad(const FeatureEllipse& e) {
  const float cx = static_cast<float>(e.cx), cy = static_cast<float>(e.cy);
  if (e.a == 0 || e.b == 0) return FeatureQuad::Rectangle(cx, cy, cx, cy);
  const double c = std::cos(e.angle) * std::cos(e.angle), s = std::sin(e.angle) * std::sin(e.angle);
  const double ia = 1 / (e.a * e.a), ib = 1 / (e.b * e.b);
  const double cxy = (ia - ib) * std::sin(2 * e.angle);
  const double cy2 = s * ia + c * ib;
  const double cx2 = c * ia + s * ib;
  // Half-width, half-height and the vertical offset of the right edge
  // against the centre (the shear).
  const double h = kQuadMargin * std::sqrt(1 / (cx2 - cxy * cxy / (4 * cy2)));
  const double v = kQuadMargin * std::sqrt(1 / cy2);
  const double off = h * (-cxy / (2 * cy2));
  FeatureQuad q;
  q.Set(FeatureQuad::kTopLeft, cv::Point2f(static_cast<float>(e.cx - h), static_cast<float>(e.cy - off - v)));
  q.Set(FeatureQuad::kTopRight, cv::Point2f(static_cast<float>(e.cx + h), static_cast<float>(e.cy + off - v)));
  q.Set(FeatureQuad::kBottomRight, cv::Point2f(static_cast<float>(e.cx + h), static_cast<float>(e.cy + off + v)));
  q.Set(FeatureQuad::kBottomLeft, cv::Point2f(static_cast<float>(e.cx - h), static_cast<float>(e.cy - off + v)));
  return q;
}

cv::Point2f EllipsePoint(const FeatureEllipse& e, double i, double j) {
  const double ct = std::cos(e.angle), st = std::sin(e.angle);
  return {static_cast<float>(e.a * i * ct - e.b * j * st + e.cx), static_cast<float>(e.a * i * st + e.b * j * ct + e.cy)};
}

std::vector<cv::Point2f> EllipsePolygon(const FeatureEllipse& e) {
  std::vector<cv::Point2f> points;
  points.reserve(kEllipsePolygonPoints);
  for (int n = 0; n < kEllipsePolygonPoints; ++n) {
    const double phi = 2 * CV_PI * n / kEllipsePolygonPoints;
    points.push_back(EllipsePoint(e, std::cos(phi), std::sin(phi)));
  }
  return points;
}

}  // namespace grinsnap
