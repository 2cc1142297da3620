#include "filters/drawing/region_growing.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "filters/kernel_support.h"

namespace grinsnap {
namespace {

constexpr std::uint8_t kVisited = 255;

struct RegionSums {
  std::int64_t b = 0, g = 0, r = 0;
  std::int64_t squares = 0;  // sum of B^2 + G^2 + R^2
  std::int64_t count = 0;
};

// The colour of a padded pixel index.
struct Colours {
  const std::uint8_t* data;
  const std::uint8_t* At(std::int64_t i) const { return data + 3 * i; }
};

inline bool AcceptDeviation(const RegionSums& s, const std::uint8_t* q, double t) {
  if (s.count == 0) return true;
  const double n = static_cast<double>(s.count + 1);
  const double mb = static_cast<double>(s.b + q[0]) / n;
  const double mg = static_cast<double>(s.g + q[1]) / n;
  const double mr = static_cast<double>(s.r + q[2]) / n;
  const double squares = static_cast<double>(s.squares + q[0] * q[0] + q[1] * q[1] + q[2] * q[2]) / n;
  // Never below 0 exactly; rounding can take a flat region a hair under.
  const double variance = std::max(squares - (mb * mb + mg * mg + mr * mr), 0.0);
  return std::sqrt(variance) <= t;
}

inline bool AcceptDistance(const RegionSums& s, const std::uint8_t* q, const std::uint8_t* p, double t) {
  if (s.count == 0) return true;
  const double db = static_cast<double>(q[0]) - p[0], dg = static_cast<double>(q[1]) - p[1],
               dr = static_cast<double>(q[2]) - p[2];
  const double length = std::sqrt(static_cast<double>(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]));
  return std::sqrt(db * db + dg * dg + dr * dr) < length * t / 255.0;
}

inline void AddToRegion(RegionSums& s, const std::uint8_t* q) {
  s.b += q[0], s.g += q[1], s.r += q[2];
  s.squares += q[0] * q[0] + q[1] * q[1] + q[2] * q[2];
  ++s.count;
}

template <RegionRule Rule>
bool Grow(const cv::Mat& smoothed, cv::Mat& dst, double t, const std::atomic<bool>* cancel) {
  const int width = smoothed.cols, height = smoothed.rows;
  // One pixel of border around the picture, marked visited, so that the
  // neighbour steps need no bounds checks.
  const std::int64_t stride = width + 2;
  cv::Mat padded;
  cv::copyMakeBorder(smoothed, padded, 1, 1, 1, 1, cv::BORDER_CONSTANT, cv::Scalar::all(0));
  std::vector<std::uint8_t> visited(static_cast<std::size_t>(stride * (height + 2)), 0);
  for (std::int64_t x = 0; x < stride; ++x) visited[x] = visited[(height + 1) * stride + x] = kVisited;
  for (int y = 0; y < height + 2; ++y) visited[y * stride] = visited[y * stride + width + 1] = kVisited;
  const Colours colours{padded.ptr<std::uint8_t>(0)};
  const std::int64_t steps[8] = {1, stride, -1, -stride, stride + 1, stride - 1, -stride - 1, -stride + 1};

  // The region's pixels in the order they joined: each wavefront is the
  // stretch taken in by the one before it.
  std::vector<std::int64_t> region;
  region.reserve(1024);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::int64_t seed = (y + 1) * stride + (x + 1);
      if (visited[static_cast<std::size_t>(seed)]) continue;
      if (CancelRequested(cancel)) return false;
      RegionSums sums;
      region.clear();
      visited[static_cast<std::size_t>(seed)] = kVisited;
      AddToRegion(sums, colours.At(seed));
      region.push_back(seed);
      std::size_t front = 0;
      while (front < region.size()) {
        const std::size_t end = region.size();
        for (std::size_t k = front; k < end; ++k) {
          const std::int64_t p = region[k];
          for (std::int64_t step : steps) {
            const std::int64_t q = p + step;
            if (visited[static_cast<std::size_t>(q)]) continue;
            bool accept;
            if constexpr (Rule == RegionRule::kDeviation)
              accept = AcceptDeviation(sums, colours.At(q), t);
            else
              accept = AcceptDistance(sums, colours.At(q), colours.At(p), t);
            if (!accept) continue;
            visited[static_cast<std::size_t>(q)] = kVisited;
            AddToRegion(sums, colours.At(q));
            region.push_back(q);
          }
        }
        front = end;
      }
      const double n = static_cast<double>(sums.count);
      const std::uint8_t mean[3] = {static_cast<std::uint8_t>(static_cast<double>(sums.b) / n),
                                    static_cast<std::uint8_t>(static_cast<double>(sums.g) / n),
                                    static_cast<std::uint8_t>(static_cast<double>(sums.r) / n)};
      for (std::int64_t p : region) {
        const int py = static_cast<int>(p / stride) - 1, px = static_cast<int>(p % stride) - 1;
        std::uint8_t* out = dst.ptr<std::uint8_t>(py) + 3 * px;
        out[0] = mean[0], out[1] = mean[1], out[2] = mean[2];
      }
    }
  }
  return true;
}

}  // namespace

bool GrowRegions(const cv::Mat& src, cv::Mat& dst, RegionRule rule, float t, const std::atomic<bool>* cancel) {
  CV_Assert(src.type() == CV_8UC3);
  cv::Mat smoothed;
  // Every weight 1/25; the border repeats the edge pixels.
  cv::blur(src, smoothed, cv::Size(5, 5), cv::Point(-1, -1), cv::BORDER_REPLICATE);
  dst.create(src.size(), CV_8UC3);
  if (src.empty()) return true;
  if (rule == RegionRule::kDeviation) return Grow<RegionRule::kDeviation>(smoothed, dst, t, cancel);
  return Grow<RegionRule::kNeighbourDistance>(smoothed, dst, t, cancel);
}

}  // namespace grinsnap
