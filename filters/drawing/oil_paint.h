#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "filters/simple_filter.h"
#include "platform/crt_random.h"

namespace grinsnap {

// The oil brush for size r, from the generator: two random walks of length
// 2r + 1 bound a stroke along one diagonal. upper[0] = rand() x 5 / 32767 + 5
// and lower[0] = rand() x 5 / 32767 - 10, then for t = 1 .. 2r upper[t] =
// rand() x 3 / 32768 + upper[t - 1] - 1 and lower[t] likewise, in that order;
// the offsets (dx outer, dy inner, each -r .. r) with |dx + dy| <= r and
// lower[r + dx + dy] < dx - dy < upper[r + dx + dy] are kept.
std::vector<cv::Point> OilPaintBrush(int r, CrtRandom& random);

// Ragged diagonal dabs with paint mixing, from src (8-bit BGR, at the
// working resolution) into dst (its size), with the generator seeded by
// seed. A dab at a random column and row (drawn in that order) lays the
// source colour C there on every pixel its brush reaches: a white pixel
// takes C, another mixes (C + old x n) / (n + 1) with its count n of dabs so
// far; the pixels taken from white count down from width x height, at least
// one per dab, until at most 500 are left. What stays white takes the source
// colour. Returns false when cancel stopped it (polled per dab).
bool OilPaintKernel(const cv::Mat& src, cv::Mat& dst, int r, std::uint32_t seed, const std::atomic<bool>* cancel);

// Oil dabs ("OilPaintFilter") at the working resolution for 500: block
// entry 0 is the brush size (default 5, truncated).
class CF_OilPaint : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "OilPaintFilter";
  static constexpr BlockParam kSize{0, "brush size", 5.0f, 1.0f, 20.0f};
  static constexpr BlockParam kParams[] = {kSize};
  static constexpr FilterTraits kTraits{.seeded = true, .workingReference = 500, .params = kParams};

  CF_OilPaint();

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;
};

}  // namespace grinsnap
