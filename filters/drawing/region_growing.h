#pragma once

#include <atomic>

#include <opencv2/core.hpp>

namespace grinsnap {

// When a region takes a neighbour.
enum class RegionRule {
  // The standard deviation of the region's colours with the pixel added
  // (square root of the mean squared channel value, summed over the
  // channels, minus the squared length of the mean colour) is at most t.
  kDeviation,
  // The colour distance between the pixel and the region pixel it was
  // reached from is below the length of that pixel's colour times t / 255.
  kNeighbourDistance,
};

// Flat-colour segmentation of src (8-bit BGR) into dst (created at src's
// size). The picture is smoothed with a 5 x 5 box; then each pixel that no
// region holds yet, in row-major order, seeds a region that grows breadth-
// first in wavefronts over the 8 neighbours (right, down, left, up, then the
// diagonals down-right, down-left, up-left, up-right), taking each neighbour
// that no region holds when the rule accepts it. A finished region is
// painted in its mean smoothed colour (truncated). Returns false when cancel
// stopped it (polled once per region); the regions done stay.
bool GrowRegions(const cv::Mat& src, cv::Mat& dst, RegionRule rule, float t, const std::atomic<bool>* cancel);

}  // namespace grinsnap
