#pragma once

// The sampling loop the warps share: every output pixel reads the source at
// the position its map gives, through the image sampler.

#include <algorithm>
#include <atomic>
#include <cstdint>

#include <opencv2/core.hpp>
#include <opencv2/core/hal/intrin.hpp>

#include "core/sampler.h"
#include "filters/kernel_support.h"

namespace grinsnap {

#if CV_SIMD128
// Stores the first three lanes as bytes, each truncated toward zero and
// clamped to 0..255 as ClampToByte does (the lanes hold sampled values, never
// beyond the range of int).
inline void StoreBgr8(std::uint8_t* out, const cv::v_float32x4& lanes) {
  const cv::v_int32x4 whole = cv::v_trunc(lanes);
  const cv::v_uint8x16 bytes = cv::v_pack_u(cv::v_pack(whole, whole), cv::v_pack(whole, whole));
  const std::uint32_t bits = cv::v_reinterpret_as_u32(bytes).get0();
  out[0] = static_cast<std::uint8_t>(bits);
  out[1] = static_cast<std::uint8_t>(bits >> 8);
  out[2] = static_cast<std::uint8_t>(bits >> 16);
}
#endif

// How a warp stores a sampled value.
enum class WarpStore {
  Truncate,  // toward zero, clamped to 0..255
  Round,     // to the nearest integer, clamped to 0..255
};

// For every pixel of dst (created at src's size; src is 8-bit BGR and must
// not share dst's pixels): map(x, y, u, v) either sets the position (u, v),
// as fractions of the size, to read src at and returns true, or returns
// false to leave the pixel as dst already holds it. Reads use triangle
// interpolation with the given border. The map must depend on its pixel
// alone. Returns false when cancel stopped it (polled between bands of rows).
// Output pixels are visited in blocks of this many rows and columns: a
// block reads a compact part of a large source, which stays in the cache
// while the block's rows go over it.
inline constexpr int kWarpBlockRows = 16;
inline constexpr int kWarpBlockColumns = 64;
// Samples are fetched this many pixels ahead of their use: enough to keep
// several reads on their way, few enough for the memory to take them all.
inline constexpr int kWarpPrefetchAhead = 8;

template <typename Map>
bool WarpBySampling(const cv::Mat& src, cv::Mat& dst, SampleBorder border, WarpStore store, Map&& map,
                    const std::atomic<bool>* cancel) {
  CV_Assert(src.type() == CV_8UC3 && !src.empty());
  dst.create(src.size(), CV_8UC3);
  const TypedSampler<std::uint8_t, 3, 3> sampler(src, border);
  const bool round = store == WarpStore::Round;
  const int bands = (src.rows + kWarpBlockRows - 1) / kWarpBlockRows;
  // Bands of rows run in parallel; every pixel depends on its own position
  // alone, so neither the split nor the order changes the picture.
  return ParallelRows(bands, cancel, [&](int band) {
    const int top = band * kWarpBlockRows, bottom = std::min(top + kWarpBlockRows, src.rows);
    // Each row of a block is done in two passes: the positions first, then
    // the samples, each one's source rows fetched a few pixels ahead. Warps
    // that scatter their reads (the middle of the inversion) would otherwise
    // wait on the memory one pixel at a time.
    float us[kWarpBlockColumns], vs[kWarpBlockColumns];
    bool mapped[kWarpBlockColumns];
    for (int left = 0; left < src.cols; left += kWarpBlockColumns) {
      const int right = std::min(left + kWarpBlockColumns, src.cols);
      for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
          const int i = x - left;
          mapped[i] = map(x, y, us[i], vs[i]);
        }
        const int n = right - left;
        for (int i = 0; i < std::min(kWarpPrefetchAhead, n); ++i)
          if (mapped[i]) sampler.Prefetch(us[i], vs[i]);
        std::uint8_t* out = dst.ptr<std::uint8_t>(y) + 3 * left;
        for (int i = 0; i < n; ++i, out += 3) {
          if (i + kWarpPrefetchAhead < n && mapped[i + kWarpPrefetchAhead])
            sampler.Prefetch(us[i + kWarpPrefetchAhead], vs[i + kWarpPrefetchAhead]);
          if (!mapped[i]) continue;
#if CV_SIMD128
          StoreBgr8(out, round ? sampler.AtLanes(us[i], vs[i]) + cv::v_setall_f32(0.5f) : sampler.AtLanes(us[i], vs[i]));
#else
          const cv::Vec3f value = sampler.At(us[i], vs[i]);
          for (int c = 0; c < 3; ++c) out[c] = ClampToByte(round ? value[c] + 0.5f : value[c]);
#endif
        }
      }
    }
  });
}

}  // namespace grinsnap
