#include "filters/drawing/drawing_support.h"

#include <algorithm>

#include <opencv2/imgproc.hpp>

namespace grinsnap {

void GreyTables::Build(const cv::Mat& bgr) {
  CV_Assert(bgr.type() == CV_8UC3);
  cv::cvtColor(bgr, grey, cv::COLOR_BGR2GRAY);
  const int width = grey.cols, height = grey.rows;
  sum.create(height + 1, width + 1, CV_64FC1);
  sqsum.create(height + 1, width + 1, CV_64FC1);
  std::fill_n(sum.ptr<double>(0), width + 1, 0.0);
  std::fill_n(sqsum.ptr<double>(0), width + 1, 0.0);
  // Every entry is an integer below 2^53, so the order of the additions
  // cannot change it: the same table cv::integral makes, built in two
  // parallel passes. First each row's running sums, rows independent...
  ParallelRows(height, nullptr, [&](int y) {
    const std::uint8_t* g = grey.ptr<std::uint8_t>(y);
    double* s = sum.ptr<double>(y + 1);
    double* q = sqsum.ptr<double>(y + 1);
    std::int64_t runSum = 0, runSquares = 0;
    s[0] = q[0] = 0.0;
    for (int x = 0; x < width; ++x) {
      runSum += g[x];
      runSquares += g[x] * g[x];
      s[x + 1] = static_cast<double>(runSum);
      q[x + 1] = static_cast<double>(runSquares);
    }
  });
  // ...then down the columns, in blocks of columns that do not depend on
  // each other.
  constexpr int kBlock = 256;
  const int blocks = (width + 1 + kBlock - 1) / kBlock;
  ParallelRows(blocks, nullptr, [&](int block) {
    const int x0 = block * kBlock, x1 = std::min(x0 + kBlock, width + 1);
    for (int y = 2; y <= height; ++y) {
      const double* sAbove = sum.ptr<double>(y - 1);
      const double* qAbove = sqsum.ptr<double>(y - 1);
      double* s = sum.ptr<double>(y);
      double* q = sqsum.ptr<double>(y);
      for (int x = x0; x < x1; ++x) {
        s[x] += sAbove[x];
        q[x] += qAbove[x];
      }
    }
  });
}

namespace {

inline float SmoothStep(float t) { return t * t * (3.0f - 2.0f * t); }


inline int Wrap(int i, int period) {
  if (period <= 0) return i;
  i %= period;
  return i < 0 ? i + period : i;
}

}  // namespace

float ValueNoise(float x, float y, float cell, std::uint32_t salt, int period, int periodY) {
  if (periodY < 0) periodY = period;
  const float fx = x / cell, fy = y / cell;
  const float flx = std::floor(fx), fly = std::floor(fy);
  const int ix = static_cast<int>(flx), iy = static_cast<int>(fly);
  const float tx = SmoothStep(fx - flx), ty = SmoothStep(fy - fly);
  const int x0 = Wrap(ix, period), x1 = Wrap(ix + 1, period);
  const int y0 = Wrap(iy, periodY), y1 = Wrap(iy + 1, periodY);
  const float a = LatticeValue(x0, y0, salt), b = LatticeValue(x1, y0, salt);
  const float c = LatticeValue(x0, y1, salt), d = LatticeValue(x1, y1, salt);
  return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

float FractalNoise(float x, float y, float cell, int octaves, float gain, std::uint32_t salt, int period,
                   int periodY) {
  if (periodY < 0) periodY = period;
  float total = 0.0f, weight = 1.0f, norm = 0.0f;
  for (int o = 0; o < octaves; ++o) {
    total += weight * ValueNoise(x, y, cell, salt + static_cast<std::uint32_t>(o) * 101u, period, periodY);
    norm += weight;
    weight *= gain;
    cell *= 0.5f;
    period *= 2;
    periodY *= 2;
  }
  return norm > 0.0f ? total / norm : 0.0f;
}

cv::Mat NoisePlane(cv::Size size, float cell, int octaves, float gain, std::uint32_t salt, int period) {
  cv::Mat plane(size, CV_32FC1);
  // Every value depends on its position alone: rows in parallel.
  ParallelRows(size.height, nullptr, [&](int y) {
    float* row = plane.ptr<float>(y);
    for (int x = 0; x < size.width; ++x)
      row[x] = FractalNoise(static_cast<float>(x), static_cast<float>(y), cell, octaves, gain, salt, period);
  });
  return plane;
}

OrderedPicker::OrderedPicker(std::size_t n) : tree_(n + 1, 0), taken_(n, 0), left_(n) {
  // Every item starts present: build the tree in O(n).
  for (std::size_t i = 1; i <= n; ++i) {
    tree_[i] += 1;
    const std::size_t parent = i + (i & (~i + 1));
    if (parent <= n) tree_[parent] += tree_[i];
  }
  while (top_ * 2 <= n) top_ *= 2;
}

std::size_t OrderedPicker::Take(std::size_t k) {
  // Descend the tree to the (k + 1)-th item still present.
  std::size_t position = 0;
  std::size_t remaining = k + 1;
  for (std::size_t step = top_; step; step >>= 1) {
    const std::size_t next = position + step;
    if (next < tree_.size() && tree_[next] < remaining) {
      position = next;
      remaining -= tree_[next];
    }
  }
  const std::size_t index = position;  // 0-based index of the item found
  taken_[index] = 1;
  --left_;
  for (std::size_t i = index + 1; i < tree_.size(); i += i & (~i + 1)) --tree_[i];
  return index;
}

cv::Rect2f StrokePath::Bounds() const {
  if (count == 0) return {};
  float x0 = points[0].x, x1 = x0, y0 = points[0].y, y1 = y0;
  for (int i = 1; i < count; ++i) {
    x0 = std::min(x0, points[i].x), x1 = std::max(x1, points[i].x);
    y0 = std::min(y0, points[i].y), y1 = std::max(y1, points[i].y);
  }
  const float pad = halfWidth + 1.0f;
  // Paths come from block values and may lie anywhere; far outside the
  // picture they are cut off by the caller's picture rectangle.
  auto finite = [](float v) { return std::clamp(v, -1e8f, 1e8f); };
  return {finite(x0 - pad), finite(y0 - pad), finite(x1 - x0 + 2 * pad), finite(y1 - y0 + 2 * pad)};
}

TextureSampler::TextureSampler(const cv::Mat& texture) : texture_(texture) {
  CV_Assert(texture.empty() || texture.type() == CV_32FC1);
}

cv::Mat ToGreyTexture(const cv::Mat& picture) {
  cv::Mat grey;
  if (picture.channels() == 3)
    cv::cvtColor(picture, grey, cv::COLOR_BGR2GRAY);
  else if (picture.channels() == 4)
    cv::cvtColor(picture, grey, cv::COLOR_BGRA2GRAY);
  else
    grey = picture;
  cv::Mat texture;
  grey.convertTo(texture, CV_32F, 1.0 / 255.0);
  return texture;
}

cv::Mat TileTexture(const cv::Mat& texture, cv::Size size, float scale) {
  CV_Assert(texture.type() == CV_32FC1 && !texture.empty());
  cv::Mat tiled(size, CV_32FC1);
  const int tw = texture.cols, th = texture.rows;
  if (!(scale > 1e-3f) || !std::isfinite(scale)) scale = 1.0f;
  ParallelRows(size.height, nullptr, [&](int y) {
    float* out = tiled.ptr<float>(y);
    const float ty = static_cast<float>(y) * scale;
    const float fly = std::floor(ty);
    const float fy = ty - fly;
    const int y0 = static_cast<int>(static_cast<std::int64_t>(fly) % th);
    const int y1 = (y0 + 1) % th;
    const float* r0 = texture.ptr<float>(y0);
    const float* r1 = texture.ptr<float>(y1);
    for (int x = 0; x < size.width; ++x) {
      const float tx = static_cast<float>(x) * scale;
      const float flx = std::floor(tx);
      const float fx = tx - flx;
      const int x0 = static_cast<int>(static_cast<std::int64_t>(flx) % tw), x1 = (x0 + 1) % tw;
      const float top = r0[x0] + (r0[x1] - r0[x0]) * fx;
      const float bottom = r1[x0] + (r1[x1] - r1[x0]) * fx;
      out[x] = top + (bottom - top) * fy;
    }
  });
  return tiled;
}

const cv::Mat& ToothTile() {
  constexpr int kSide = 256;
  constexpr std::uint32_t kSalt = 0x544fu;
  static const cv::Mat tile =
      NoisePlane(cv::Size(kSide, kSide), kToothTileCell, 2, 0.6f, kSalt, kSide / static_cast<int>(kToothTileCell));
  return tile;
}

StrokeField MakeStrokeField(const cv::Mat& grey, float sigma) {
  // Squared Sobel gradient of a grey in 0..1 below which a direction is
  // only noise: a step of about 0.03 across three pixels.
  constexpr float kWeakGradient = 2e-3f;
  CV_Assert(grey.type() == CV_32FC1);
  cv::Mat gx, gy;
  cv::Sobel(grey, gx, CV_32F, 1, 0, 3, 1.0, 0.0, cv::BORDER_REPLICATE);
  cv::Sobel(grey, gy, CV_32F, 0, 1, 3, 1.0, 0.0, cv::BORDER_REPLICATE);
  cv::Mat jxx = gx.mul(gx), jxy = gx.mul(gy), jyy = gy.mul(gy);
  const double s = std::max(0.5, static_cast<double>(sigma));
  cv::GaussianBlur(jxx, jxx, cv::Size(), s, s, cv::BORDER_REPLICATE);
  cv::GaussianBlur(jxy, jxy, cv::Size(), s, s, cv::BORDER_REPLICATE);
  cv::GaussianBlur(jyy, jyy, cv::Size(), s, s, cv::BORDER_REPLICATE);
  StrokeField field;
  field.cosine.create(grey.size(), CV_32FC1);
  field.sine.create(grey.size(), CV_32FC1);
  field.coherence.create(grey.size(), CV_32FC1);
  ParallelRows(grey.rows, nullptr, [&](int y) {
    const float* a = jxx.ptr<float>(y);
    const float* b = jxy.ptr<float>(y);
    const float* c = jyy.ptr<float>(y);
    float* co = field.cosine.ptr<float>(y);
    float* si = field.sine.ptr<float>(y);
    float* coh = field.coherence.ptr<float>(y);
    for (int x = 0; x < grey.cols; ++x) {
      // The tensor's main axis is the gradient; strokes run across it.
      const float angle = 0.5f * std::atan2(2.0f * b[x], a[x] - c[x]) + static_cast<float>(CV_PI / 2);
      co[x] = std::cos(angle);
      si[x] = std::sin(angle);
      // How much one direction wins, damped where the gradient is too weak
      // to mean anything (flat, slightly noisy areas).
      const float trace = a[x] + c[x];
      const float diff = std::sqrt((a[x] - c[x]) * (a[x] - c[x]) + 4.0f * b[x] * b[x]);
      coh[x] = diff / (trace + kWeakGradient);
    }
  });
  return field;
}

float SamplePlane(const cv::Mat& plane, float x, float y) {
  const int w = plane.cols, h = plane.rows;
  x = ClampCoordinate(x - 0.5f, static_cast<float>(w - 1));
  y = ClampCoordinate(y - 0.5f, static_cast<float>(h - 1));
  const int x0 = static_cast<int>(x), y0 = static_cast<int>(y);
  const int x1 = std::min(x0 + 1, w - 1), y1 = std::min(y0 + 1, h - 1);
  const float fx = x - static_cast<float>(x0), fy = y - static_cast<float>(y0);
  const float* r0 = plane.ptr<float>(y0);
  const float* r1 = plane.ptr<float>(y1);
  const float top = r0[x0] + (r0[x1] - r0[x0]) * fx;
  const float bottom = r1[x0] + (r1[x1] - r1[x0]) * fx;
  return top + (bottom - top) * fy;
}

StrokePath TraceStroke(const StrokeField& field, float fieldScale, cv::Point2f start, cv::Point2f heading, float step,
                       int steps, float follow, float halfWidth) {
  StrokePath path;
  path.halfWidth = halfWidth;
  path.Add(start);
  cv::Point2f p = start, d = heading;
  steps = std::clamp(steps, 0, StrokePath::kMaxPoints - 1);
  if (!(follow > 0.0f)) {
    // A straight stroke is one segment, however many steps it takes.
    if (steps > 0) path.Add(start + heading * (step * static_cast<float>(steps)));
    return path;
  }
  for (int i = 0; i < steps; ++i) {
    const float fx = p.x * fieldScale, fy = p.y * fieldScale;
    cv::Point2f f(SamplePlane(field.cosine, fx, fy), SamplePlane(field.sine, fx, fy));
    if (f.x * d.x + f.y * d.y < 0.0f) f = -f;
    d = d + (f - d) * follow;
    const float n = std::sqrt(d.x * d.x + d.y * d.y);
    d = n > 1e-6f ? d * (1.0f / n) : heading;
    p += d * step;
    path.Add(p);
  }
  return path;
}

}  // namespace grinsnap
