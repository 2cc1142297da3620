#pragma once

// The sampling loop the warps share: every output pixel reads the source at
// the position its map gives, through the image sampler.

#include <atomic>
#include <cstdint>

#include <opencv2/core.hpp>

#include "core/sampler.h"
#include "filters/kernel_support.h"

namespace grinsnap {

// How a warp stores a sampled value.
enum class WarpStore {
  Truncate,  // toward zero, clamped to 0..255
  Round,     // to the nearest integer, clamped to 0..255
};

// For every pixel of dst (created at src's size; src is 8-bit BGR and must
// not share dst's pixels): map(x, y, u, v) either sets the position (u, v),
// as fractions of the size, to read src at and returns true, or returns
// false to leave the pixel as dst already holds it. Reads use triangle
// interpolation with the given border. Rows run in parallel; the map must
// depend on its pixel alone. Returns false when cancel stopped it.
template <typename Map>
bool WarpBySampling(const cv::Mat& src, cv::Mat& dst, SampleBorder border, WarpStore store, Map&& map,
                    const std::atomic<bool>* cancel) {
  CV_Assert(src.type() == CV_8UC3 && !src.empty());
  dst.create(src.size(), CV_8UC3);
  const TypedSampler<std::uint8_t, 3, 3> sampler(src, border);
  const bool round = store == WarpStore::Round;
  return ParallelRows(src.rows, cancel, [&](int y) {
    std::uint8_t* out = dst.ptr<std::uint8_t>(y);
    for (int x = 0; x < src.cols; ++x, out += 3) {
      float u, v;
      if (!map(x, y, u, v)) continue;
      const cv::Vec3f value = sampler.At(u, v);
      for (int c = 0; c < 3; ++c) out[c] = ClampToByte(round ? value[c] + 0.5f : value[c]);
    }
  });
}

}  // namespace grinsnap
