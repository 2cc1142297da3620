// The ink-stroke renderer is this program's own design: a pen drawing made
// over the pencil sketch, the way an illustrator inks a pencilled page.
//   - The inked sketch: the sketch's lines and solid darks, sharpened by a
//     smooth threshold into pen lines (not for graphite, which keeps the
//     sketch's soft greys instead).
//   - Contour strokes: positions drawn at random are kept with a chance that
//     grows with the sketch's darkness and with how clearly its lines run
//     one way there, so the strokes gather on the lines, not in flat darks;
//     each follows the lines' direction (the smoothed structure tensor),
//     centred on the point, textured along its length by the stroke picture
//     (a nib or a dry brush).
//   - Hatching: where the sketch's broad tone is dark, parallel diagonal
//     strokes, crossed by a second set in the darkest places.
//   - Under the ink: the paper (tiled at a scale tied to the picture's
//     size), the colour picture as a wash when "image" asks for it (the
//     nested filter's picture, a watercolour say, or the photo), and the
//     pencil sketch itself, full for graphite, faint under ink.
// The strokes draw from the filter's generator in a fixed order and are
// drawn in bands of rows in their order, so the picture does not depend on
// the number of threads.
#include "filters/drawing/stroke_sketch.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "core/xml_params.h"
#include "filters/drawing/drawing_support.h"
#include "filters/drawing/sketch.h"
#include "filters/drawing/textures.h"
#include "filters/filter_assets.h"
#include "filters/filter_factory.h"
#include "filters/kernel_support.h"
#include "platform/crt_random.h"

namespace grinsnap {
namespace {

constexpr int kFieldSide = 1000;
constexpr int kLineCandidates = 16000;
constexpr int kHatchCandidates = 14000;

struct Ink {
  cv::Vec3f colour;   // BGR, 0..1
  float opacity;
  float width;        // half width of a contour stroke, in units
  float underSketch;  // how much of the pencil sketch shows beneath
  float crisp;        // how much of the sketch is inked as it is, sharpened
};

Ink InkFor(InkType type) {
  switch (type) {
    case InkType::kGraphite: return {{0.30f, 0.29f, 0.28f}, 0.55f, 0.55f, 1.0f, 0.0f};
    case InkType::kSepia: return {{0.10f, 0.22f, 0.36f}, 0.85f, 0.6f, 0.15f, 0.85f};
    case InkType::kBlue: return {{0.50f, 0.22f, 0.08f}, 0.8f, 0.5f, 0.15f, 0.8f};
    case InkType::kBlack: break;
  }
  return {{0.06f, 0.05f, 0.05f}, 0.9f, 0.55f, 0.15f, 1.0f};
}

inline float Unit(CrtRandom& random) { return static_cast<float>(random.Next()) / 32768.0f; }

}  // namespace

bool InkStrokeKernel(const cv::Mat& sketch, const cv::Mat& colour, cv::Mat& dst, const InkSettings& settings,
                     const cv::Mat& paper, const cv::Mat& stroke, std::uint32_t seed, const std::atomic<bool>* cancel) {
  CV_Assert(sketch.type() == CV_8UC3 && paper.type() == CV_32FC1 && stroke.type() == CV_32FC1);
  CV_Assert(colour.empty() || (colour.type() == CV_8UC3 && colour.size() == sketch.size()));
  const int width = sketch.cols, height = sketch.rows;
  dst.create(sketch.size(), CV_8UC3);
  if (sketch.empty()) return true;
  const Ink ink = InkFor(settings.ink);
  const float image = std::isfinite(settings.image) ? std::clamp(settings.image, 0.0f, 1.0f) : 0.0f;
  const float unit = static_cast<float>(std::hypot(width, height)) / 1000.0f;

  // The sketch's darkness (0 on paper) and its fields at no more than 1000
  // across: fine for placing the contour strokes, broad for the hatching,
  // and the direction of its lines.
  cv::Mat grey;
  cv::extractChannel(sketch, grey, 0);
  const float fieldScale = std::min(1.0f, static_cast<float>(kFieldSide) / static_cast<float>(std::max(width, height)));
  const cv::Size fieldSize(std::max(1, static_cast<int>(std::lround(width * fieldScale))),
                           std::max(1, static_cast<int>(std::lround(height * fieldScale))));
  cv::Mat small, dark;
  cv::resize(grey, small, fieldSize, 0, 0, cv::INTER_AREA);
  small.convertTo(dark, CV_32F, -1.0 / 245.0, 1.0);
  cv::max(dark, 0.0f, dark);
  const float fieldUnit = unit * fieldScale;
  cv::Mat lines, tone, soft;
  cv::GaussianBlur(dark, lines, cv::Size(), std::max(0.7f, 1.0f * fieldUnit), 0, cv::BORDER_REPLICATE);
  cv::GaussianBlur(dark, tone, cv::Size(), std::max(3.0f, 8.0f * fieldUnit), 0, cv::BORDER_REPLICATE);
  cv::GaussianBlur(dark, soft, cv::Size(), std::max(1.0f, 2.0f * fieldUnit), 0, cv::BORDER_REPLICATE);
  const StrokeField field = MakeStrokeField(soft, std::max(1.5f, 2.5f * fieldUnit));
  if (CancelRequested(cancel)) return false;

  // Contour strokes, then hatching: the draws in this order. A contour
  // stroke goes where the sketch has a line with a clear direction; solid
  // dark areas are left to the inked sketch and the hatching.
  CrtRandom random(seed);
  std::vector<StrokePath> strokes;
  std::vector<float> opacity;
  for (int i = 0; i < kLineCandidates; ++i) {
    const float x = Unit(random) * static_cast<float>(width);
    const float y = Unit(random) * static_cast<float>(height);
    const float fx = x * fieldScale, fy = y * fieldScale;
    const float d = SamplePlane(lines, fx, fy) * std::min(1.0f, 1.5f * SamplePlane(field.coherence, fx, fy));
    if (Unit(random) >= d * 1.3f) continue;
    const float length = (10.0f + 26.0f * Unit(random)) * unit;
    const float halfWidth = ink.width * (0.6f + 0.8f * Unit(random)) * std::max(unit, 0.7f);
    const cv::Point2f heading(SamplePlane(field.cosine, fx, fy), SamplePlane(field.sine, fx, fy));
    constexpr int kSteps = 8;
    // Traced back half a stroke first, so that the stroke is centred on the line.
    const StrokePath back = TraceStroke(field, fieldScale, {x, y}, -heading, length / kSteps, kSteps / 2, 0.7f, halfWidth);
    const cv::Point2f start = back.points[back.count - 1];
    const cv::Point2f startHeading = back.count > 1 ? back.points[back.count - 2] - start : heading;
    const float n = std::sqrt(startHeading.dot(startHeading));
    strokes.push_back(TraceStroke(field, fieldScale, start, n > 1e-6f ? startHeading * (1.0f / n) : heading,
                                  length / kSteps, kSteps, 0.7f, halfWidth));
    opacity.push_back(ink.opacity * std::min(1.0f, 0.5f + d));
  }
  const cv::Point2f hatch(0.7071f, -0.7071f), cross(0.7071f, 0.7071f);
  for (int i = 0; i < kHatchCandidates; ++i) {
    const float x = Unit(random) * static_cast<float>(width);
    const float y = Unit(random) * static_cast<float>(height);
    const float t = SamplePlane(tone, x * fieldScale, y * fieldScale);
    const float chance = Unit(random);
    const bool crossing = Unit(random) < 0.5f;
    const float length = (12.0f + 16.0f * Unit(random)) * unit;
    if (chance >= (t - 0.15f) * 2.0f) continue;
    const cv::Point2f direction = crossing && t > 0.45f ? cross : hatch;
    const cv::Point2f start(x - direction.x * length / 2, y - direction.y * length / 2);
    StrokePath path;
    path.halfWidth = ink.width * 0.55f * std::max(unit, 0.7f);
    path.Add(start);
    path.Add(start + direction * length);
    strokes.push_back(path);
    opacity.push_back(ink.opacity * 0.6f);
  }
  if (CancelRequested(cancel)) return false;

  const TextureSampler nib(stroke);
  cv::Mat inked(sketch.size(), CV_32FC1, cv::Scalar(0));
  if (!RasterizeStrokes(strokes, sketch.size(), cancel, [&](std::uint32_t i, int x, int y, const StrokeSample& s) {
        const float alpha = (1.0f - nib.At(s.u, (s.v + 1.0f) * 0.5f)) * s.coverage * opacity[i];
        float& v = inked.ptr<float>(y)[x];
        v += (1.0f - v) * alpha;
      }))
    return false;

  const cv::Mat paperPlane = TileTexture(paper, sketch.size(), 1.0f / std::max(unit, 0.5f));
  return ParallelRows(height, cancel, [&](int y) {
    const std::uint8_t* s = grey.ptr<std::uint8_t>(y);
    const std::uint8_t* c = colour.empty() ? nullptr : colour.ptr<std::uint8_t>(y);
    const float* k = inked.ptr<float>(y);
    const float* p = paperPlane.ptr<float>(y);
    std::uint8_t* out = dst.ptr<std::uint8_t>(y);
    for (int x = 0; x < width; ++x) {
      const float pencil = std::min(static_cast<float>(s[x]) / 250.0f, 1.0f);
      const float under = 1.0f - ink.underSketch * (1.0f - pencil);
      // The sketch inked as it is: its lines sharpened into pen lines.
      const float pen = ink.crisp * SmoothStep(0.3f, 0.65f, 1.0f - pencil) * ink.opacity;
      const float strokeInk = 1.0f - (1.0f - k[x]) * (1.0f - pen);
      // Ink sits on the paper's surface; where the paper dips it thins a little.
      const float alpha = strokeInk * (0.85f + 0.15f * p[x]);
      for (int ch = 0; ch < 3; ++ch) {
        const float wash = c ? 1.0f - image * (1.0f - static_cast<float>(c[3 * x + ch]) / 255.0f) : 1.0f;
        const float base = p[x] * wash * under;
        out[3 * x + ch] = ClampToByte((base + (ink.colour[ch] * p[x] - base) * alpha) * 255.0f + 0.5f);
      }
    }
  });
}

CF_StrokeSketch::CF_StrokeSketch() : CF_SimpleFilter(kClassName, kTraits) {}

CF_StrokeSketch::~CF_StrokeSketch() = default;

int CF_StrokeSketch::Load() {
  CF_SimpleFilter::Load();
  settings_ = InkSettings();
  missing_.clear();
  nested_.reset();
  const tinyxml2::XMLElement* param = FirstChild(element_, "param");
  int inkType = static_cast<int>(settings_.ink);
  ReadAttribute(param, "inktype", inkType);
  // An ink this program does not know draws in black.
  settings_.ink = inkType >= 0 && inkType <= 3 ? static_cast<InkType>(inkType) : InkType::kBlack;
  ReadAttribute(param, "image", settings_.image);
  const std::string paperName = AttributeText(param, "paper");
  const std::string strokeName = AttributeText(param, "stroke");
  const cv::Mat paper = paperName.empty() ? DefaultPaper(PaperKind::kSketchbook) : LoadAsset(Folder(), paperName, missing_);
  const cv::Mat stroke = strokeName.empty() ? DefaultStroke(StrokeKind::kPen) : LoadAsset(Folder(), strokeName, missing_);
  paper_ = paper.empty() ? cv::Mat() : ToGreyTexture(paper);
  stroke_ = stroke.empty() ? cv::Mat() : ToGreyTexture(stroke);
  nested_ = CreateNestedFilter(*this, FirstChild(element_, "filter"), false);
  return 0;
}

void CF_StrokeSketch::ForEachNested(const std::function<void(CImageFilter&)>& visit) {
  if (nested_) visit(*nested_);
}

bool CF_StrokeSketch::RunKernel(const cv::Mat& in, cv::Mat& out) {
  if (paper_.empty() || stroke_.empty()) throw std::runtime_error("the ink drawing cannot read " + missing_);
  cv::Mat sketch;
  if (!SketchKernel(in, sketch, StopFlag(), &tables_)) return false;
  cv::Mat colour;
  if (settings_.image > 0.0f) {
    if (nested_) {
      if (!RenderNested(*nested_, in, colour)) return false;
    } else {
      colour = in;
    }
  }
  return InkStrokeKernel(sketch, colour, out, settings_, paper_, stroke_, seed_, StopFlag());
}

}  // namespace grinsnap
