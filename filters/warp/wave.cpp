#include "filters/warp/wave.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "filters/kernel_support.h"

namespace grinsnap {

namespace {

// The surface at one place of the quarter X, Y >= 0: its normal and how far
// the refracted ray moves the row and the column read.
struct Ripple {
  float nx, ny, nz;
  float rowShift, columnShift;
};

Ripple RippleAt(float x, float y, float a2, float b, float c, float heightScale) {
  // The surface h = b cos(r2) and its slope.
  const float r2 = (x * x + y * y) / a2;
  const float h = b * std::cos(r2);
  const float e = -b * std::sin(r2) / a2;
  const float gy = 2.0f * y * e, gx = 2.0f * x * e;
  const float length = std::sqrt(gy * gy + gx * gx + 1.0f);
  const float ny = gy / length, nx = gx / length, nz = 1.0f / length;
  // The ray through the surface, refracted with the ratio c. Past total
  // reflection (c above 1) the root would not be real; it is held at 0.
  const float jr = -c * ny * nz, kr = -c * nx * nz, gr = c * (1.0f - nz * nz);
  const float lr = std::sqrt(std::max(0.0f, 1.0f - (jr * jr + kr * kr + gr * gr)));
  const float t1 = jr + lr * ny, t2 = kr + lr * nx, t3 = gr + lr * nz;
  // The row moves with the second component, the column with the first.
  return {nx, ny, nz, heightScale * h * t2 / t3, heightScale * h * t1 / t3};
}

// 100 diffuse^100: the hundredth power by squaring in double precision
// (d^64 d^32 d^4), more precise than a float power and a fraction of its cost.
inline float SpecularOf(float diffuse) {
  const double d = diffuse;
  const double d2 = d * d, d4 = d2 * d2, d8 = d4 * d4, d16 = d8 * d8, d32 = d16 * d16, d64 = d32 * d32;
  return static_cast<float>(100.0 * (d64 * d32 * d4));
}

}  // namespace

bool WaveKernel(const cv::Mat& src, cv::Mat& dst, float a, float b, float c, const std::atomic<bool>* cancel) {
  CV_Assert(src.type() == CV_8UC3);
  const cv::Mat in = Unaliased(src, dst);
  dst.create(in.size(), CV_8UC3);
  if (in.empty()) return true;
  const int width = in.cols, height = in.rows;
  const int centreX = width / 2, centreY = height / 2;
  const float m = static_cast<float>(std::min(width, height));
  const float a2 = a * a;
  const float heightScale = static_cast<float>(height);
  // The light comes from (0.25, 0.25, 1), normalised.
  const float lightLength = std::sqrt(0.25f * 0.25f + 0.25f * 0.25f + 1.0f);
  const float lx = 0.25f / lightLength, ly = 0.25f / lightLength, lz = 1.0f / lightLength;

  // The ripple is symmetric about the centre: mirroring X or Y negates the
  // normal's component along it and the shift across it, and leaves the rest
  // bit for bit. Each distance from the centre row is computed once for the
  // rows above and below it, each distance from the centre column once for
  // both sides; the light, which is not symmetric, is worked out per pixel.
  // Distances are independent and run in parallel.
  const int columns = std::max(centreX, width - 1 - centreX) + 1;
  const int distances = std::max(centreY, height - 1 - centreY) + 1;
  return ParallelRows(distances, cancel, [&](int dy) {
    thread_local std::vector<Ripple> quarter;
    quarter.resize(static_cast<std::size_t>(columns));
    const float y = static_cast<float>(dy) / m;
    for (int dx = 0; dx < columns; ++dx) quarter[dx] = RippleAt(static_cast<float>(dx) / m, y, a2, b, c, heightScale);
    auto draw = [&](int i, float sy) {
      std::uint8_t* out = dst.ptr<std::uint8_t>(i);
      for (int j = 0; j < width; ++j, out += 3) {
        const int dx = j - centreX;
        const float sx = dx < 0 ? -1.0f : 1.0f;
        const Ripple& r = quarter[dx < 0 ? -dx : dx];
        const int row = std::clamp(TruncateToInt(static_cast<float>(i) + sx * r.rowShift), 0, height - 1);
        const int column = std::clamp(TruncateToInt(static_cast<float>(j) + sy * r.columnShift), 0, width - 1);
        float diffuse = (sy * r.ny) * ly + (sx * r.nx) * lx + r.nz * lz;
        if (diffuse < 0.2f) diffuse = 0.2f;
        const float specular = SpecularOf(diffuse);
        const std::uint8_t* seen = in.ptr<std::uint8_t>(row) + 3 * column;
        for (int ch = 0; ch < 3; ++ch) out[ch] = ClampToByte(specular + diffuse * static_cast<float>(seen[ch]));
      }
    };
    if (centreY + dy < height) draw(centreY + dy, 1.0f);
    if (dy > 0 && centreY - dy >= 0) draw(centreY - dy, -1.0f);
  });
}

CF_Wave::CF_Wave() : CF_SimpleFilter(kClassName, kTraits) {}

bool CF_Wave::RunKernel(const cv::Mat& in, cv::Mat& out) {
  return WaveKernel(in, out, Param(kScale), Param(kAmplitude), Param(kRefraction), StopFlag());
}

}  // namespace grinsnap
