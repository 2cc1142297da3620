#include "filters/drawing/textures.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "filters/drawing/drawing_support.h"

namespace grinsnap {
namespace {

// Salts of the noise layers: each material its own.
constexpr std::uint32_t kPaperSalt = 0x5041u;
constexpr std::uint32_t kStrokeSalt = 0x5354u;
constexpr std::uint32_t kBrushSalt = 0x4252u;
constexpr std::uint32_t kWoodSalt = 0x574fu;

inline std::uint8_t ToByte(float v) { return static_cast<std::uint8_t>(std::clamp(v, 0.0f, 255.0f) + 0.5f); }

// Smooth ends of a stroke: 0 outside 0..1, rising over `in` and falling over
// `out` of the length.
inline float Taper(float u, float in, float out) {
  if (u <= 0.0f || u >= 1.0f) return 0.0f;
  const float a = std::min(u / in, 1.0f), b = std::min((1.0f - u) / out, 1.0f);
  return std::sqrt(a) * std::sqrt(b);
}

}  // namespace

cv::Mat MakePaperTexture(PaperKind kind, int size) {
  cv::Mat paper(size, size, CV_8UC1);
  const bool coldPress = kind == PaperKind::kColdPress;
  // Cells that divide the size, so every layer wraps around the tile.
  const float coarse = static_cast<float>(size) / (coldPress ? 16.0f : 32.0f);
  const int coarsePeriod = coldPress ? 16 : 32;
  const float fine = static_cast<float>(size) / 256.0f;
  ParallelRows(size, nullptr, [&](int y) {
    std::uint8_t* row = paper.ptr<std::uint8_t>(y);
    for (int x = 0; x < size; ++x) {
      const float fx = static_cast<float>(x), fy = static_cast<float>(y);
      // The tooth: rounded bumps a few pixels across, deeper on cold-pressed paper.
      const float tooth = FractalNoise(fx, fy, coarse, 4, 0.6f, kPaperSalt, coarsePeriod);
      const float grain = ValueNoise(fx, fy, fine, kPaperSalt + 7u, 256);
      // Fibres: thin, faint streaks mostly along one direction.
      const float fibre = ValueNoise(fx * 0.25f, fy * 2.0f, fine * 2.0f, kPaperSalt + 13u, 32, 256);
      float v;
      if (coldPress)
        v = 255.0f - 70.0f * std::pow(1.0f - tooth, 2.2f) - 18.0f * (1.0f - grain);
      else
        v = 252.0f - 16.0f * std::pow(1.0f - tooth, 2.0f) - 9.0f * (1.0f - grain) -
            (fibre > 0.93f ? 10.0f * (fibre - 0.93f) / 0.07f : 0.0f);
      row[x] = ToByte(v);
    }
  });
  return paper;
}

cv::Mat MakeStrokeTexture(StrokeKind kind) {
  const bool pen = kind == StrokeKind::kPen;
  const int width = 256, height = pen ? 32 : 48;
  cv::Mat stroke(height, width, CV_8UC1);
  ParallelRows(height, nullptr, [&](int y) {
    std::uint8_t* row = stroke.ptr<std::uint8_t>(y);
    const float v = (static_cast<float>(y) + 0.5f) / static_cast<float>(height) * 2.0f - 1.0f;  // -1..1 across
    for (int x = 0; x < width; ++x) {
      const float u = (static_cast<float>(x) + 0.5f) / static_cast<float>(width);
      float ink;
      if (pen) {
        // A nib line: full ink in the core, a ragged rim, a light start and
        // a thinning tail where the pen lifts.
        const float rim = 0.82f + 0.12f * (ValueNoise(static_cast<float>(x), 0.0f, 6.0f, kStrokeSalt) - 0.5f);
        const float edge = std::clamp((rim * Taper(u, 0.06f, 0.25f) - std::fabs(v)) * 6.0f, 0.0f, 1.0f);
        const float gaps = ValueNoise(static_cast<float>(x), static_cast<float>(y), 3.0f, kStrokeSalt + 1u);
        ink = edge * (0.88f + 0.12f * gaps);
      } else {
        // A dry brush: bristles leave streaks along the stroke, and run dry
        // towards its end.
        const float bristle = ValueNoise(static_cast<float>(x) * 0.04f, static_cast<float>(y), 1.5f, kStrokeSalt + 2u);
        const float dryness = u * u * 0.9f;
        const float body = std::clamp((Taper(u, 0.04f, 0.15f) * 0.95f - std::fabs(v)) * 4.0f, 0.0f, 1.0f);
        const float patch = ValueNoise(static_cast<float>(x), static_cast<float>(y), 4.0f, kStrokeSalt + 3u);
        ink = body * std::clamp((bristle + 0.35f * patch - dryness) * 2.5f, 0.0f, 1.0f);
      }
      row[x] = ToByte(255.0f * (1.0f - ink));
    }
  });
  return stroke;
}

cv::Mat MakeBrushTexture(BrushKind kind) {
  if (kind == BrushKind::kBristle) {
    const int width = 256, height = 64;
    cv::Mat brush(height, width, CV_8UC1);
    ParallelRows(height, nullptr, [&](int y) {
      std::uint8_t* row = brush.ptr<std::uint8_t>(y);
      const float v = (static_cast<float>(y) + 0.5f) / static_cast<float>(height) * 2.0f - 1.0f;
      for (int x = 0; x < width; ++x) {
        const float u = (static_cast<float>(x) + 0.5f) / static_cast<float>(width);
        // Each bristle ends at its own length: ragged start and end.
        const float start = 0.05f * LatticeValue(0, y / 2, kBrushSalt);
        const float end = 1.0f - 0.18f * LatticeValue(1, y / 2, kBrushSalt);
        const float inside = u > start && u < end ? 1.0f : 0.0f;
        const float streak = ValueNoise(static_cast<float>(x) * 0.05f, static_cast<float>(y), 1.2f, kBrushSalt + 1u);
        const float side = std::clamp((1.0f - std::fabs(v)) * 5.0f, 0.0f, 1.0f);
        const float paint = inside * side * (0.55f + 0.45f * streak);
        row[x] = ToByte(255.0f * (1.0f - paint));
      }
    });
    cv::GaussianBlur(brush, brush, cv::Size(3, 3), 0.6);
    return brush;
  }
  const int size = 96;
  cv::Mat brush(size, size, CV_8UC1);
  ParallelRows(size, nullptr, [&](int y) {
    std::uint8_t* row = brush.ptr<std::uint8_t>(y);
    const float v = (static_cast<float>(y) + 0.5f) / size * 2.0f - 1.0f;
    for (int x = 0; x < size; ++x) {
      const float u = (static_cast<float>(x) + 0.5f) / size * 2.0f - 1.0f;
      // A round dab, its rim broken by the bristles.
      const float r = std::sqrt(u * u + v * v);
      const float rim = 0.88f + 0.1f * ValueNoise(std::atan2(v, u) * 5.0f + 40.0f, 0.0f, 1.0f, kBrushSalt + 2u);
      const float body = std::clamp((rim - r) * 6.0f, 0.0f, 1.0f);
      const float streak = ValueNoise(static_cast<float>(x) * 0.15f, static_cast<float>(y), 1.5f, kBrushSalt + 3u);
      row[x] = ToByte(255.0f * (1.0f - body * (0.7f + 0.3f * streak)));
    }
  });
  return brush;
}

cv::Mat MakeWoodTexture(WoodKind kind, int size) {
  cv::Mat wood(size, size, CV_8UC3);
  const bool light = kind == WoodKind::kLight;
  // Pale birch or dark, ink-soaked walnut; BGR.
  const cv::Vec3f early = light ? cv::Vec3f(190, 222, 240) : cv::Vec3f(28, 36, 48);
  const cv::Vec3f late = light ? cv::Vec3f(120, 165, 200) : cv::Vec3f(10, 14, 20);
  const float s = static_cast<float>(size);
  ParallelRows(size, nullptr, [&](int y) {
    cv::Vec3b* row = wood.ptr<cv::Vec3b>(y);
    for (int x = 0; x < size; ++x) {
      const float fx = static_cast<float>(x), fy = static_cast<float>(y);
      // Growth rings seen from the side: stripes along y, bent by slow noise
      // that wraps with the tile (8 cells across, 2 down).
      const float bend = FractalNoise(fx, fy * 0.25f, s / 8.0f, 3, 0.5f, kWoodSalt, 8, 2) - 0.5f;
      const float phase = (fx / s) * 24.0f + bend * 6.0f;
      const float ring = 0.5f + 0.5f * std::sin(phase * 2.0f * static_cast<float>(CV_PI));
      const float late_wood = std::pow(ring, 3.0f);
      // Pores and fine fibres along the grain.
      const float fibre = ValueNoise(fx, fy * 0.0625f, s / 256.0f, kWoodSalt + 5u, 256, 16);
      const float t = std::clamp(0.75f * late_wood + 0.25f * fibre, 0.0f, 1.0f);
      const cv::Vec3f c = early + (late - early) * t;
      row[x] = cv::Vec3b(ToByte(c[0]), ToByte(c[1]), ToByte(c[2]));
    }
  });
  return wood;
}

const cv::Mat& DefaultPaper(PaperKind kind) {
  static const cv::Mat coldPress = MakePaperTexture(PaperKind::kColdPress);
  static const cv::Mat sketchbook = MakePaperTexture(PaperKind::kSketchbook);
  return kind == PaperKind::kColdPress ? coldPress : sketchbook;
}

const cv::Mat& DefaultStroke(StrokeKind kind) {
  static const cv::Mat pen = MakeStrokeTexture(StrokeKind::kPen);
  static const cv::Mat dryBrush = MakeStrokeTexture(StrokeKind::kDryBrush);
  return kind == StrokeKind::kPen ? pen : dryBrush;
}

const cv::Mat& DefaultBrush(BrushKind kind) {
  static const cv::Mat bristle = MakeBrushTexture(BrushKind::kBristle);
  static const cv::Mat round = MakeBrushTexture(BrushKind::kRound);
  return kind == BrushKind::kBristle ? bristle : round;
}

const cv::Mat& DefaultWood(WoodKind kind) {
  static const cv::Mat light = MakeWoodTexture(WoodKind::kLight);
  static const cv::Mat dark = MakeWoodTexture(WoodKind::kDark);
  return kind == WoodKind::kLight ? light : dark;
}

}  // namespace grinsnap
