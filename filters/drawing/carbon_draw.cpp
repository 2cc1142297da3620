// The charcoal drawing is this program's own design. Charcoal on paper reads
// as such through four things, built here in this order:
//   1. tone: how dark each area should end up, from the smoothed grey and
//      the pressure;
//   2. strokes: short straight hatching in one hand direction where the
//      picture is flat, bending along the contours where it has structure
//      (the direction field of the smoothed grey), placed at random with a
//      chance that grows with the tone, so dark areas fill with overlapping
//      strokes and light ones stay paper;
//   3. smudge and contour: a soft, rubbed-in layer of the tone under the
//      strokes, and dark lines where the grey has an edge;
//   4. tooth: charcoal sticks to the peaks of the paper and skips its pits,
//      so every mark is broken up by the paper's grain.
// The strokes come from the filter's generator in a fixed order of draws;
// their darkness adds up in integers, so drawing them in bands of rows on
// any number of threads gives the same picture. Smooth fields (tone,
// direction, smudge, contours) are worked at a picture of at most 1000
// pixels across and resized; the strokes at most 2000 across, and the tooth
// at the output's own size.
#include "filters/drawing/carbon_draw.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "filters/drawing/drawing_support.h"
#include "filters/kernel_support.h"
#include "platform/crt_random.h"

namespace grinsnap {
namespace {

constexpr int kFieldSide = 1000;
constexpr float kStrokeSide = 2000.0f;
constexpr int kCandidates = 26000;
constexpr float kHandAngle = -1.05f;  // radians: strokes from lower left to upper right
// Darkness is summed in thousandths.
constexpr float kUnitsPerInk = 1000.0f;

// BGR of the paper and of the charcoal.
const cv::Vec3f kPaper(232, 238, 242);
const cv::Vec3f kCharcoal(34, 31, 30);

inline float Unit(CrtRandom& random) { return static_cast<float>(random.Next()) / 32768.0f; }

}  // namespace

bool CarbonDrawKernel(const cv::Mat& src, cv::Mat& dst, float pressure, float smudge, std::uint32_t seed,
                      const std::atomic<bool>* cancel) {
  CV_Assert(src.type() == CV_8UC3);
  const int width = src.cols, height = src.rows;
  dst.create(src.size(), CV_8UC3);
  if (src.empty()) return true;
  if (!std::isfinite(pressure)) pressure = 1.0f;
  if (!std::isfinite(smudge)) smudge = 0.0f;
  pressure = std::clamp(pressure, 0.0f, 10.0f);
  smudge = std::clamp(smudge, 0.0f, 1.0f);
  const float unit = static_cast<float>(std::hypot(width, height)) / 1000.0f;

  // 1. Tone and the smooth fields, at a picture of at most 1000 across.
  const float fieldScale = std::min(1.0f, static_cast<float>(kFieldSide) / static_cast<float>(std::max(width, height)));
  const cv::Size fieldSize(std::max(1, static_cast<int>(std::lround(width * fieldScale))),
                           std::max(1, static_cast<int>(std::lround(height * fieldScale))));
  cv::Mat small, grey;
  cv::resize(src, small, fieldSize, 0, 0, cv::INTER_AREA);
  cv::cvtColor(small, grey, cv::COLOR_BGR2GRAY);
  grey.convertTo(grey, CV_32F, 1.0 / 255.0);
  const float fieldUnit = unit * fieldScale;
  cv::Mat soft;
  cv::GaussianBlur(grey, soft, cv::Size(), std::max(0.8f, 1.2f * fieldUnit), 0, cv::BORDER_REPLICATE);
  cv::Mat tone(fieldSize, CV_32FC1);
  for (int y = 0; y < fieldSize.height; ++y) {
    const float* g = soft.ptr<float>(y);
    float* t = tone.ptr<float>(y);
    for (int x = 0; x < fieldSize.width; ++x)
      t[x] = std::clamp(std::pow(std::clamp(1.0f - g[x], 0.0f, 1.0f), 1.5f) * pressure, 0.0f, 1.0f);
  }
  const StrokeField field = MakeStrokeField(soft, std::max(1.5f, 3.0f * fieldUnit));
  if (CancelRequested(cancel)) return false;

  // 2. Strokes, from the generator: three draws per candidate (column, row,
  // acceptance), four more for every accepted one (length, angle, width,
  // weight).
  CrtRandom random(seed);
  std::vector<StrokePath> strokes;
  std::vector<float> weights;
  strokes.reserve(kCandidates / 2);
  weights.reserve(kCandidates / 2);
  const cv::Point2f hand(std::cos(kHandAngle), std::sin(kHandAngle));
  // Strokes are drawn on a picture of at most kStrokeSide across, which a
  // larger output gets enlarged: soft charcoal marks lose nothing by it, and
  // a camera-sized photo costs no more than that. Positions are fractions of
  // the picture, so the draws are the same at any size.
  const float drawScale = std::min(1.0f, kStrokeSide / static_cast<float>(std::max(width, height)));
  const cv::Size drawSize(std::max(1, static_cast<int>(std::lround(width * drawScale))),
                          std::max(1, static_cast<int>(std::lround(height * drawScale))));
  const float toField = fieldScale / drawScale, drawUnit = unit * drawScale;
  for (int i = 0; i < kCandidates; ++i) {
    const float x = Unit(random) * static_cast<float>(drawSize.width);
    const float y = Unit(random) * static_cast<float>(drawSize.height);
    const float t = SamplePlane(tone, x * toField, y * toField);
    if (Unit(random) >= t * 0.8f) continue;
    const float length = (18.0f + 36.0f * Unit(random)) * drawUnit;
    const float jitter = (Unit(random) - 0.5f) * 0.5f;
    const float halfWidth = (0.7f + 0.9f * Unit(random)) * drawUnit;
    const float weight = 0.18f + 0.22f * Unit(random);
    const float coherence = SamplePlane(field.coherence, x * toField, y * toField);
    // Flat areas get the hand's hatching; structure bends the strokes.
    const float follow = std::clamp((coherence - 0.3f) * 1.5f, 0.0f, 0.6f);
    const cv::Point2f heading(hand.x * std::cos(jitter) - hand.y * std::sin(jitter),
                              hand.x * std::sin(jitter) + hand.y * std::cos(jitter));
    constexpr int kSteps = 6;
    const cv::Point2f start(x - heading.x * length / 2.0f, y - heading.y * length / 2.0f);
    strokes.push_back(TraceStroke(field, toField, start, heading, length / kSteps, kSteps, follow, halfWidth));
    weights.push_back(weight * (0.5f + 0.5f * t));
  }
  if (CancelRequested(cancel)) return false;

  cv::Mat marks(drawSize, CV_32SC1, cv::Scalar(0));
  if (!RasterizeStrokes(strokes, drawSize, cancel, [&](std::uint32_t i, int x, int y, const StrokeSample& s) {
        // A stick of charcoal presses harder in the middle of its width and
        // lifts at both ends.
        const float across = 1.0f - 0.7f * s.v * s.v;
        const float ends = std::min(1.0f, std::min(s.u, 1.0f - s.u) * 6.0f + 0.2f);
        marks.ptr<std::int32_t>(y)[x] += static_cast<std::int32_t>(weights[i] * across * ends * s.coverage * kUnitsPerInk);
      }))
    return false;

  cv::Mat strokeInk;
  marks.convertTo(strokeInk, CV_32F, 1.0 / kUnitsPerInk);
  cv::min(strokeInk, 1.0f, strokeInk);
  if (drawSize != src.size()) cv::resize(strokeInk, strokeInk, src.size(), 0, 0, cv::INTER_LINEAR);

  // 3. Smudge and contours, at field size.
  cv::Mat rubbed;
  cv::GaussianBlur(tone, rubbed, cv::Size(), std::max(2.0f, 7.0f * fieldUnit), 0, cv::BORDER_REPLICATE);
  cv::Mat fine, broad;
  cv::GaussianBlur(grey, fine, cv::Size(), std::max(0.6f, 0.8f * fieldUnit), 0, cv::BORDER_REPLICATE);
  cv::GaussianBlur(grey, broad, cv::Size(), std::max(1.5f, 2.4f * fieldUnit), 0, cv::BORDER_REPLICATE);
  cv::Mat contour = (broad - fine) * (6.0f * std::max(pressure, 0.2f)) - 0.06f;
  cv::max(contour, 0.0f, contour);
  cv::min(contour, 1.0f, contour);
  cv::Mat layers;
  cv::merge(std::vector<cv::Mat>{rubbed * (1.2f * smudge), contour}, layers);
  cv::Mat layersFull;
  cv::resize(layers, layersFull, src.size(), 0, 0, cv::INTER_LINEAR);
  if (CancelRequested(cancel)) return false;

  // 4. Tooth, and the picture. The tooth's grains are about 3 pixels of a
  // 1000-pixel picture across.
  const float toothCell = std::max(2.0f, 2.8f * unit);
  const cv::Mat toothPlane = TileTexture(ToothTile(), src.size(), kToothTileCell / toothCell);
  return ParallelRows(height, cancel, [&](int y) {
    const float* m = strokeInk.ptr<float>(y);
    const cv::Vec2f* l = layersFull.ptr<cv::Vec2f>(y);
    const float* toothRow = toothPlane.ptr<float>(y);
    std::uint8_t* out = dst.ptr<std::uint8_t>(y);
    for (int x = 0; x < width; ++x) {
      const float ink = 1.0f - (1.0f - m[x]) * (1.0f - l[x][0]) * (1.0f - l[x][1]);
      const float tooth = toothRow[x];
      // Peaks of the paper take the charcoal first; its pits only under a
      // heavy layer, so light marks break up into grains.
      const float taken = std::clamp(ink * (1.0f - (1.0f - ink) * (1.0f - tooth) * 0.9f), 0.0f, 1.0f);
      for (int c = 0; c < 3; ++c)
        out[3 * x + c] = ClampToByte(kPaper[c] + (kCharcoal[c] - kPaper[c]) * taken + 0.5f);
    }
  });
}

CF_CarbonDraw::CF_CarbonDraw() : CF_SimpleFilter(kClassName, kTraits) {}

bool CF_CarbonDraw::RunKernel(const cv::Mat& in, cv::Mat& out) {
  return CarbonDrawKernel(in, out, Param(kPressure), Param(kSmudge), seed_, StopFlag());
}

}  // namespace grinsnap
