#include "filters/multi/collage.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include <opencv2/imgproc.hpp>
#include <tinyxml2.h>

#include "core/sampler.h"
#include "core/xml_params.h"
#include "filters/filter_assets.h"
#include "filters/kernel_support.h"
#include "render/rasteriser.h"

namespace grinsnap {

namespace {

constexpr int kStoneLimit = 101;
constexpr double kTextureSide = 800.0;

// The eight neighbours in the order stones grow: right, down, left, up,
// down-right, down-left, up-left, up-right; with the bevel weight of each
// direction (up lights, down darkens, left lights less, right darkens less;
// a diagonal takes the mean of its two).
struct Step {
  int dx, dy;
  float weight;
};
constexpr Step kSteps[8] = {{1, 0, -15.0f},  {0, 1, -20.0f},  {-1, 0, 15.0f},  {0, -1, 20.0f},
                            {1, 1, -17.5f},  {-1, 1, -2.5f},  {-1, -1, 17.5f}, {1, -1, 2.5f}};

}  // namespace

cv::Size StoneTextureSize(cv::Size output) {
  const double s = std::min({kTextureSide / output.width, kTextureSide / output.height, 1.0});
  return {static_cast<int>(std::lround(output.width * s)), static_cast<int>(std::lround(output.height * s))};
}

bool StoneRelief(cv::Size size, CrtRandom& random, cv::Mat& relief, const std::atomic<bool>* cancel) {
  const int w = size.width, h = size.height;
  const int total = w * h;
  relief.create(size, CV_32FC1);
  relief.setTo(0);
  std::vector<std::uint8_t> filled(static_cast<std::size_t>(total), 0);
  std::vector<std::uint8_t> stone(static_cast<std::size_t>(total), 0);
  std::vector<int> pixels, pass, next;
  pixels.reserve(kStoneLimit);
  float* t = relief.ptr<float>(0);
  int f = 0;
  const auto accept = [&](int i) {
    if (static_cast<int>(pixels.size()) >= kStoneLimit || (random.Next() & 1) == 0) return false;
    stone[static_cast<std::size_t>(i)] = 1;
    filled[static_cast<std::size_t>(i)] = 1;
    pixels.push_back(i);
    if (i == f)
      while (f < total && filled[static_cast<std::size_t>(f)]) ++f;
    return true;
  };
  while (f < total) {
    if (CancelRequested(cancel)) return false;
    int seed;
    do {
      const int column = random.Next() % w;
      const int row = random.Next() % h;
      seed = f + (column + row * w) % (total - f);
    } while (filled[static_cast<std::size_t>(seed)]);
    pixels.clear();
    pass.clear();
    if (accept(seed)) pass.push_back(seed);
    while (!pass.empty()) {
      next.clear();
      for (const int p : pass) {
        const int x = p % w, y = p / w;
        for (const Step& s : kSteps) {
          const int nx = x + s.dx, ny = y + s.dy;
          if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
          const int n = ny * w + nx;
          if (filled[static_cast<std::size_t>(n)]) continue;
          if (accept(n)) next.push_back(n);
        }
      }
      pass.swap(next);
    }
    for (const int p : pixels) {
      const int x = p % w, y = p / w;
      float sum = 0;
      for (const Step& s : kSteps) {
        const int nx = x + s.dx, ny = y + s.dy;
        if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
        if (!stone[static_cast<std::size_t>(ny * w + nx)]) sum += s.weight;
      }
      t[p] += sum;
    }
    for (const int p : pixels) stone[static_cast<std::size_t>(p)] = 0;
  }
  return true;
}

CF_Collage::CF_Collage() : CF_SimpleFilter(kClassName, kTraits) {}

bool CF_Collage::RunKernel(const cv::Mat& in, cv::Mat& out) {
  CrtRandom random(seed_);
  const cv::Size size = in.size();
  cv::Mat relief;
  const bool done = StoneRelief(StoneTextureSize(size), random, relief, StopFlag());
  cv::Mat scaled;
  if (relief.size() == size)
    scaled = relief;
  else
    cv::resize(relief, scaled, size, 0, 0, cv::INTER_LINEAR);
  const float k = Param(kStrength);
  ParallelRows(size.height, nullptr, [&](int y) {
    const std::uint8_t* s = in.ptr<std::uint8_t>(y);
    const float* r = scaled.ptr<float>(y);
    std::uint8_t* o = out.ptr<std::uint8_t>(y);
    for (int x = 0; x < size.width; ++x) {
      const float add = r[x] * k;
      for (int c = 0; c < 3; ++c) o[3 * x + c] = cv::saturate_cast<std::uint8_t>(s[3 * x + c] + add);
    }
  });
  return done;
}

cv::Size TileGrid(TileLayout layout, cv::Size output, double d) {
  const double W = output.width, H = output.height;
  switch (layout) {
    case TileLayout::Squares:
      return {static_cast<int>(std::floor(W / d + 0.75)), static_cast<int>(std::floor(H / d + 0.75))};
    case TileLayout::Bricks:
      return {static_cast<int>(std::floor(2 * W / d + 0.75)) + 1, static_cast<int>(std::floor(H / d + 0.75))};
    case TileLayout::Honeycomb: {
      const double hx = d * std::sqrt(3.0) / 2;
      return {static_cast<int>(std::floor(W / hx + 0.75)) + 1, static_cast<int>(std::floor(4 * H / (3 * d) + 0.75))};
    }
  }
  return {0, 0};
}

TileCell TileAt(TileLayout layout, int col, int row, double d) {
  TileCell t;
  switch (layout) {
    case TileLayout::Squares:
      t.centre = {(col + 0.5) * d, (row + 0.5) * d};
      t.left = t.top = -0.55 * d;
      t.right = t.bottom = 0.6 * d;
      t.srcLeft = (col - 0.05) * d, t.srcRight = (col + 1.1) * d;
      t.srcTop = (row - 0.05) * d, t.srcBottom = (row + 1.1) * d;
      break;
    case TileLayout::Bricks:
      t.centre = {col * d / 2, (row + 0.5) * d};
      t.left = t.top = -0.55 * d;
      t.right = t.bottom = 0.55 * d;
      t.srcLeft = (col - 0.1) * d / 2, t.srcRight = (col + 2.1) * d / 2;
      t.srcTop = (row - 0.05) * d, t.srcBottom = (row + 1.1) * d;
      t.pair = (col % 2) == (row % 2) ? 0 : 1;
      break;
    case TileLayout::Honeycomb: {
      const double hx = d * std::sqrt(3.0) / 2;
      const double odd = (row % 2) ? hx / 2 : 0.0;
      t.centre = {hx * (col + 0.5) - odd, 0.75 * d * row + 0.5 * d};
      t.left = -0.55 * hx, t.right = 0.55 * hx;
      t.top = -0.55 * d, t.bottom = 0.55 * d;
      t.srcLeft = (col - 0.05) * hx - odd, t.srcRight = (col + 1.05) * hx - odd;
      t.srcTop = 0.75 * d * row - 0.05 * d, t.srcBottom = 0.75 * d * row + 1.05 * d;
      break;
    }
  }
  return t;
}

CF_Collage2::CF_Collage2() : CF_SimpleFilter(kClassName, kTraits) {}

int CF_Collage2::Load() {
  const int loaded = CF_SimpleFilter::Load();
  type_ = 0;
  ReadAttribute(element_, "type", type_);
  for (int k = 0; k < 2; ++k) textures_[k].release(), masks_[k].release();
  int pair = 0;
  std::string missing;
  for (const tinyxml2::XMLElement* param : ChildrenNamed(element_, "param")) {
    if (pair == 2) break;
    const char* tex = param->Attribute("tex");
    const char* mask = param->Attribute("mask");
    if (tex) {
      cv::Mat t = LoadAsset(Folder(), tex, missing, true);
      // A texture without alpha covers the tile's rim fully.
      if (t.channels() == 3) cv::cvtColor(t, t, cv::COLOR_BGR2BGRA);
      textures_[pair] = t;
    }
    if (mask) masks_[pair] = LoadAsset(Folder(), mask, missing);
    ++pair;
  }
  return loaded;
}

bool CF_Collage2::RunKernel(const cv::Mat& in, cv::Mat& out) {
  if (type_ < 0 || type_ > 2) return true;
  const auto layout = static_cast<TileLayout>(type_);
  CrtRandom random(seed_);
  const int W = in.cols, H = in.rows;
  const int n = std::max(1, TruncateToInt(Param(kCells)));
  const float a = Param(kAngleSpread), b = Param(kShiftSpread);
  const double d = static_cast<double>(std::min(W, H)) / n;
  out.setTo(cv::Scalar::all(128));
  const cv::Size grid = TileGrid(layout, in.size(), d);
  if (grid.width <= 0 || grid.height <= 0) return true;
  std::vector<int> remaining(static_cast<std::size_t>(grid.width) * grid.height);
  for (std::size_t i = 0; i < remaining.size(); ++i) remaining[i] = static_cast<int>(i);
  const TypedSampler<std::uint8_t, 3, 3> photo(in, SampleBorder::Clamp);
  const auto unit = [&] { return static_cast<double>(random.Next()) / CrtRandom::kMax; };
  while (!remaining.empty()) {
    if (StopRequested()) return false;
    const auto pick = static_cast<std::size_t>(static_cast<double>(random.Next()) / 32768.0 * remaining.size());
    const int index = remaining[pick];
    remaining[pick] = remaining.back();
    remaining.pop_back();
    const int col = index % grid.width, row = index / grid.width;
    const TileCell cell = TileAt(layout, col, row, d);
    const double r1 = 2 * unit() - 1, r2 = 2 * unit() - 1;
    double cs = 1 + a * r1, sn = a * r2;
    const double len = std::hypot(cs, sn);
    cs /= len, sn /= len;
    const double shiftX = (2 * unit() - 1) * b * d;
    const double shiftY = (2 * unit() - 1) * b * d;
    struct Corner {
      float x, y, sx, sy, tu, tv;
    };
    Corner corners[4];
    const double xs[2] = {cell.left, cell.right}, ys[2] = {cell.top, cell.bottom};
    const double sxs[2] = {cell.srcLeft, cell.srcRight}, sys[2] = {cell.srcTop, cell.srcBottom};
    for (int k = 0; k < 4; ++k) {
      const double x = xs[k % 2], y = ys[k / 2];
      corners[k] = {static_cast<float>(cell.centre.x + x * cs + y * sn + shiftX),
                    static_cast<float>(cell.centre.y - x * sn + y * cs + shiftY),
                    static_cast<float>(sxs[k % 2]),
                    static_cast<float>(sys[k / 2]),
                    static_cast<float>(k % 2),
                    static_cast<float>(k / 2)};
    }
    const cv::Mat& tex = textures_[cell.pair];
    const cv::Mat& mask = masks_[cell.pair];
    const bool framed = !tex.empty() && !mask.empty();
    std::optional<TypedSampler<std::uint8_t, 4, 4>> texSampler;
    std::optional<TypedSampler<std::uint8_t, 3, 3>> maskSampler;
    if (framed) texSampler.emplace(tex, SampleBorder::Clamp), maskSampler.emplace(mask, SampleBorder::Clamp);
    const int triangles[2][3] = {{0, 1, 3}, {3, 2, 0}};
    for (const auto& tri : triangles) {
      const Corner& c1 = corners[tri[0]];
      const Corner& c2 = corners[tri[1]];
      const Corner& c3 = corners[tri[2]];
      const ProjectedCorner projected[3] = {{c1.x, c1.y, 1.0f}, {c2.x, c2.y, 1.0f}, {c3.x, c3.y, 1.0f}};
      RasteriseTriangle(projected, {}, in.size(), CullMode::None, [&](int x, int y, float beta, float gamma) {
        const float sx = c1.sx + beta * (c2.sx - c1.sx) + gamma * (c3.sx - c1.sx);
        const float sy = c1.sy + beta * (c2.sy - c1.sy) + gamma * (c3.sy - c1.sy);
        const cv::Vec3f p = photo.At(sx, sy, false);
        std::uint8_t* o = out.ptr<std::uint8_t>(y) + 3 * x;
        if (!framed) {
          for (int c = 0; c < 3; ++c) o[c] = static_cast<std::uint8_t>(std::clamp(p[c], 0.0f, 255.0f));
          return;
        }
        const float tu = c1.tu + beta * (c2.tu - c1.tu) + gamma * (c3.tu - c1.tu);
        const float tv = c1.tv + beta * (c2.tv - c1.tv) + gamma * (c3.tv - c1.tv);
        const cv::Vec3f mv = maskSampler->At(tu, tv);
        const float m = (mv[0] + mv[1] + mv[2]) / 3.0f / 255.0f;
        const cv::Vec4f tv4 = texSampler->At(tu, tv);
        const float t = tv4[3] / 255.0f;
        for (int c = 0; c < 3; ++c) {
          const float under = t * tv4[c] + (1.0f - t) * static_cast<float>(o[c]);
          o[c] = static_cast<std::uint8_t>(std::clamp(m * p[c] + (1.0f - m) * under, 0.0f, 255.0f));
        }
      });
    }
  }
  return true;
}

}  // namespace grinsnap
