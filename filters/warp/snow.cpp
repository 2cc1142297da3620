#include "filters/warp/snow.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "filters/kernel_support.h"

namespace grinsnap {

std::vector<SnowFlake> DrawSnowFlakes(CrtRandom& random, const std::array<int, 3>& counts, cv::Size size) {
  std::vector<SnowFlake> flakes;
  for (int layer = 0; layer < 3; ++layer)
    for (int i = 0; i < counts[layer]; ++i) {
      const std::int64_t x = static_cast<std::int64_t>(random.Next()) * size.width / 32768;
      const std::int64_t y = static_cast<std::int64_t>(random.Next()) * size.height / 32768;
      flakes.push_back({static_cast<int>(x), static_cast<int>(y), layer});
    }
  return flakes;
}

bool SnowKernel(const cv::Mat& src, cv::Mat& dst, const std::array<int, 3>& counts, CrtRandom& random,
                const std::atomic<bool>* cancel) {
  CV_Assert(src.type() == CV_8UC3);
  if (src.data != dst.data) src.copyTo(dst);
  if (dst.empty()) return true;
  const int width = dst.cols, height = dst.rows;
  const int radius = std::min(width, height) * 25 / 767;
  const int side = 2 * radius + 1;
  // Each flake is kept until every row has seen it; past this many the
  // picture is white long before and the list would only fill the memory.
  constexpr std::int64_t kMostFlakes = 10'000'000;
  if (static_cast<std::int64_t>(counts[0]) + counts[1] + counts[2] > kMostFlakes)
    throw std::runtime_error("too many snow flakes: at most 10 million are drawn");
  const std::vector<SnowFlake> flakes = DrawSnowFlakes(random, counts, dst.size());

  // For each layer and table cell, what is left of the distance to white:
  // 1 - g inside the disc, 1 (no change) outside it. Each value is repeated
  // for the three channels so that a row of the table runs over bytes.
  const float spreads[3] = {1.0f / std::sqrt(5.0f), 1.0f / std::sqrt(10.0f), 1.0f / std::sqrt(50.0f)};
  std::vector<float> keep(static_cast<std::size_t>(3) * side * side * 3);
  for (int layer = 0; layer < 3; ++layer) {
    const float spread = spreads[layer];
    const float scale = static_cast<float>(radius * radius) * (spread * spread);
    for (int dy = -radius; dy <= radius; ++dy)
      for (int dx = -radius; dx <= radius; ++dx) {
        const int d2 = dx * dx + dy * dy;
        // A flake of radius 0 is one white pixel.
        const float g = d2 <= radius * radius ? std::exp(-(d2 == 0 ? 0.0f : static_cast<float>(d2) / scale)) : 0.0f;
        float* cell = keep.data() + ((static_cast<std::size_t>(layer) * side + (dy + radius)) * side + (dx + radius)) * 3;
        cell[0] = cell[1] = cell[2] = 1.0f - g;
      }
  }

  // Flakes overlap and each brightens what the ones before it left, so every
  // pixel takes its flakes in the order drawn. Rows are independent once the
  // flakes are drawn: they run in parallel, each going through the flakes
  // that reach it in that order.
  return ParallelRows(height, cancel, [&](int y) {
    std::uint8_t* row = dst.ptr<std::uint8_t>(y);
    for (const SnowFlake& flake : flakes) {
      const int dy = y - flake.y;
      if (dy < -radius || dy > radius) continue;
      const int x0 = std::max(flake.x - radius, 0);
      const int x1 = std::min(flake.x + radius, width - 1);
      if (x0 > x1) continue;
      const float* factor = keep.data() +
                            ((static_cast<std::size_t>(flake.layer) * side + (dy + radius)) * side + (x0 - flake.x + radius)) * 3;
      std::uint8_t* p = row + 3 * x0;
      const int n = 3 * (x1 - x0 + 1);
      for (int i = 0; i < n; ++i)
        p[i] = static_cast<std::uint8_t>(255.0f - (255.0f - static_cast<float>(p[i])) * factor[i]);
    }
  });
}

CF_Snow::CF_Snow() : CF_SimpleFilter(kClassName, kTraits) {}

bool CF_Snow::RunKernel(const cv::Mat& in, cv::Mat& out) {
  CrtRandom random(seed_);
  const std::array<int, 3> counts = {std::max(0, TruncateToInt(Param(kLarge))), std::max(0, TruncateToInt(Param(kMiddle))),
                                     std::max(0, TruncateToInt(Param(kSmall)))};
  return SnowKernel(in, out, counts, random, StopFlag());
}

}  // namespace grinsnap
