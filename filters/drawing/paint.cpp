// The texture painter is this program's own design, after the way a
// painter works a canvas from broad to fine:
//   - Layers of strokes from large brushes to small. Each layer compares
//     the canvas so far with the photo blurred to the brush's scale, on a
//     grid as fine as the brush, and puts a stroke only where the canvas is
//     still wrong (the first layer everywhere), in an order shuffled by the
//     filter's generator so that strokes overlap naturally.
//   - A stroke takes the photo's colour at its start and runs along the
//     picture's contours (the direction field of the blurred grey), for as
//     long as the photo keeps close to its colour: oil strokes are long and
//     bent, impressionist dabs short, straight and with livelier colour.
//   - Each stroke is textured by a brush picture mapped along its length,
//     and leaves paint of a height that follows the bristles; the heights
//     are lit from the upper left at the end (impasto) and the canvas weave
//     shows through.
// Draws come from the generator in a fixed order; strokes are drawn in
// bands of rows in their order, so the picture does not depend on the
// number of threads. The canvas is at most 1200 pixels across, so that a
// large photo costs no more than that: its painting is enlarged, and only
// the weave is laid at the full size.
#include "filters/drawing/paint.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include <opencv2/imgproc.hpp>
#include <tinyxml2.h>

#include "core/xml_params.h"
#include "filters/drawing/drawing_support.h"
#include "filters/drawing/textures.h"
#include "filters/filter_assets.h"
#include "platform/crt_random.h"

namespace grinsnap {
namespace {

struct Layer {
  float radius;     // in units of the picture's size
  int maxSteps;     // the longest stroke, in steps of about its radius
  float tolerance;  // how wrong the canvas may be before a stroke is put there
  float spacing;    // of the grid of stroke starts, in radii
};

struct Style {
  Layer layers[3];
  int layerCount;
  float follow;         // how closely strokes bend with the contours
  float colourJitter;   // per channel, in 0..1
  float opacity;
  float impasto;        // strength of the lighting of the paint's relief
  float weave;          // how much of the canvas weave shows
  cv::Vec3f ground;     // BGR of the canvas before any paint
};

Style StyleFor(PaintStyle style) {
  if (style == PaintStyle::kImpressionist)
    return {{{9.0f, 1, 0.0f, 1.3f}, {4.5f, 1, 0.1f, 1.2f}, {0.0f, 0, 0.0f, 1.0f}}, 2, 0.0f, 0.1f, 1.0f, 0.25f, 0.06f,
            {0.45f, 0.55f, 0.62f}};
  return {{{12.0f, 4, 0.0f, 2.0f}, {6.0f, 4, 0.12f, 1.6f}, {3.0f, 3, 0.16f, 1.4f}}, 3, 0.9f, 0.04f, 0.92f, 0.8f, 0.05f,
          {0.42f, 0.52f, 0.62f}};
}

// The largest canvas the strokes are painted on.
constexpr double kPaintingSide = 1200.0;

inline float Unit(CrtRandom& random) { return static_cast<float>(random.Next()) / 32768.0f; }

// A draw of 30 bits, for shuffles longer than one draw reaches.
inline std::uint32_t Wide(CrtRandom& random) {
  const std::uint32_t high = static_cast<std::uint32_t>(random.Next());
  return (high << 15) | static_cast<std::uint32_t>(random.Next());
}

inline float Distance(const cv::Vec3f& a, const cv::Vec3f& b) {
  const cv::Vec3f d = a - b;
  return std::sqrt(d.dot(d));
}

inline cv::Vec3f SampleColour(const cv::Mat& plane, float x, float y) {
  const int w = plane.cols, h = plane.rows;
  const int ix = std::clamp(static_cast<int>(x), 0, w - 1), iy = std::clamp(static_cast<int>(y), 0, h - 1);
  return plane.at<cv::Vec3f>(iy, ix);
}

}  // namespace

bool PaintKernel(const cv::Mat& output, cv::Mat& dst, PaintStyle styleKind, const std::vector<cv::Mat>& brushes,
                 std::uint32_t seed, const std::atomic<bool>* cancel) {
  CV_Assert(output.type() == CV_8UC3 && !brushes.empty());
  dst.create(output.size(), CV_8UC3);
  if (output.empty()) return true;
  // The strokes are planned and painted on a canvas of at most
  // kPaintingSide pixels across; a larger output gets the painting enlarged,
  // with the canvas weave laid at its own size. A stroke keeps its size
  // relative to the picture either way.
  const double fit = std::min(1.0, kPaintingSide / static_cast<double>(std::max(output.cols, output.rows)));
  const cv::Size paintingSize(std::max(1, static_cast<int>(std::lround(output.cols * fit))),
                              std::max(1, static_cast<int>(std::lround(output.rows * fit))));
  cv::Mat src = output;
  if (paintingSize != output.size()) cv::resize(output, src, paintingSize, 0, 0, cv::INTER_AREA);
  const int width = src.cols, height = src.rows;
  const Style style = StyleFor(styleKind);
  const float unit = static_cast<float>(std::hypot(width, height)) / 1000.0f;
  std::vector<TextureSampler> samplers;
  for (const cv::Mat& b : brushes) samplers.emplace_back(b);

  cv::Mat photo;
  src.convertTo(photo, CV_32FC3, 1.0 / 255.0);
  cv::Mat canvas(src.size(), CV_32FC3, cv::Scalar(style.ground[0], style.ground[1], style.ground[2]));
  cv::Mat relief(src.size(), CV_32FC1, cv::Scalar(0));
  CrtRandom random(seed);

  struct Dab {
    cv::Vec3f colour;
    std::uint32_t brush;
  };
  for (int li = 0; li < style.layerCount; ++li) {
    const Layer& layer = style.layers[li];
    const float radius = std::max(1.0f, layer.radius * unit);
    // The layer's view of the photo and of the canvas: scaled down so that
    // the brush spans about two of its pixels.
    const float scale = std::min(1.0f, 2.0f / radius);
    const cv::Size small(std::max(1, static_cast<int>(std::lround(width * scale))),
                         std::max(1, static_cast<int>(std::lround(height * scale))));
    cv::Mat reference, canvasSmall, grey;
    cv::resize(photo, reference, small, 0, 0, cv::INTER_AREA);
    cv::GaussianBlur(reference, reference, cv::Size(), 1.0, 0, cv::BORDER_REPLICATE);
    cv::resize(canvas, canvasSmall, small, 0, 0, cv::INTER_AREA);
    cv::cvtColor(reference, grey, cv::COLOR_BGR2GRAY);
    const StrokeField field = MakeStrokeField(grey, 1.5f);
    if (CancelRequested(cancel)) return false;

    // A grid about as fine as the brush, its cells kept where the canvas is
    // still wrong.
    const float spacing = radius * layer.spacing;
    const int cols = static_cast<int>(std::ceil(width / spacing)), rows = static_cast<int>(std::ceil(height / spacing));
    std::vector<cv::Point2f> starts;
    for (int gy = 0; gy < rows; ++gy)
      for (int gx = 0; gx < cols; ++gx) {
        const cv::Point2f centre((gx + 0.5f) * spacing, (gy + 0.5f) * spacing);
        if (centre.x >= width || centre.y >= height) continue;
        if (li > 0) {
          const float sx = centre.x * scale, sy = centre.y * scale;
          if (Distance(SampleColour(canvasSmall, sx, sy), SampleColour(reference, sx, sy)) <= layer.tolerance) continue;
        }
        starts.push_back(centre);
      }
    for (std::size_t i = starts.size(); i > 1; --i) std::swap(starts[i - 1], starts[Wide(random) % i]);

    std::vector<StrokePath> strokes;
    std::vector<Dab> dabs;
    strokes.reserve(starts.size());
    dabs.reserve(starts.size());
    for (const cv::Point2f& cell : starts) {
      const cv::Point2f start(cell.x + (Unit(random) - 0.5f) * spacing, cell.y + (Unit(random) - 0.5f) * spacing);
      cv::Vec3f colour = SampleColour(reference, start.x * scale, start.y * scale);
      const float lift = (Unit(random) - 0.5f) * 2.0f * style.colourJitter;
      for (int c = 0; c < 3; ++c)
        colour[c] = std::clamp(colour[c] + lift + (Unit(random) - 0.5f) * style.colourJitter, 0.0f, 1.0f);
      const std::uint32_t brush = static_cast<std::uint32_t>(random.Next()) % static_cast<std::uint32_t>(samplers.size());
      const int steps = 1 + static_cast<int>(Unit(random) * static_cast<float>(layer.maxSteps));
      // Along the contours, one way or the other.
      const float fx = start.x * scale, fy = start.y * scale;
      cv::Point2f heading(SamplePlane(field.cosine, fx, fy), SamplePlane(field.sine, fx, fy));
      if (random.Next() & 1) heading = -heading;
      StrokePath path;
      path.halfWidth = radius;
      path.Add(start);
      cv::Point2f p = start, d = heading;
      const float step = radius * (style.follow > 0.0f ? 1.0f : 2.2f);
      for (int s = 0; s < steps; ++s) {
        if (style.follow > 0.0f) {
          cv::Point2f f(SamplePlane(field.cosine, p.x * scale, p.y * scale), SamplePlane(field.sine, p.x * scale, p.y * scale));
          if (f.dot(d) < 0.0f) f = -f;
          d += (f - d) * style.follow;
          const float n = std::sqrt(d.dot(d));
          d = n > 1e-6f ? d * (1.0f / n) : heading;
        }
        const cv::Point2f next = p + d * step;
        // A stroke ends where the photo leaves its colour.
        if (s > 0 && Distance(SampleColour(reference, next.x * scale, next.y * scale), colour) > 0.16f) break;
        p = next;
        path.Add(p);
      }
      strokes.push_back(path);
      dabs.push_back({colour, brush});
    }
    if (!RasterizeStrokes(strokes, src.size(), cancel, [&](std::uint32_t i, int x, int y, const StrokeSample& s) {
          // The round caps take the brush's body, not its ragged first and
          // last bristle tips, so short strokes end round, not square.
          const float along = std::clamp(s.u, 0.08f, 0.92f);
          const float paint = 1.0f - samplers[dabs[i].brush].At(along, (s.v + 1.0f) * 0.5f);
          const float alpha = paint * s.coverage * style.opacity;
          if (alpha <= 0.0f) return;
          cv::Vec3f& c = canvas.ptr<cv::Vec3f>(y)[x];
          c += (dabs[i].colour - c) * alpha;
          float& h = relief.ptr<float>(y)[x];
          h += (0.35f + 0.65f * paint - h) * alpha;
        }))
      return false;
  }

  // The relief lit from the upper left, its steps softened a little as
  // thick paint's edges are...
  cv::GaussianBlur(relief, relief, cv::Size(), 0.8, 0, cv::BORDER_REPLICATE);
  cv::Mat hx, hy;
  cv::Sobel(relief, hx, CV_32F, 1, 0, 3, 0.125, 0, cv::BORDER_REPLICATE);
  cv::Sobel(relief, hy, CV_32F, 0, 1, 3, 0.125, 0, cv::BORDER_REPLICATE);
  const float light = 1.6f * style.impasto * std::max(1.0f, unit);
  cv::Mat painted = paintingSize == output.size() ? dst : cv::Mat(paintingSize, CV_8UC3);
  if (!ParallelRows(height, cancel, [&](int y) {
        const cv::Vec3f* c = canvas.ptr<cv::Vec3f>(y);
        const float* gx = hx.ptr<float>(y);
        const float* gy = hy.ptr<float>(y);
        std::uint8_t* out = painted.ptr<std::uint8_t>(y);
        for (int x = 0; x < width; ++x) {
          const float shade = std::clamp(1.0f - light * (gx[x] + gy[x]), 0.7f, 1.3f);
          for (int ch = 0; ch < 3; ++ch) out[3 * x + ch] = ClampToByte(c[x][ch] * shade * 255.0f + 0.5f);
        }
      }))
    return false;
  if (painted.data != dst.data) cv::resize(painted, dst, output.size(), 0, 0, cv::INTER_LINEAR);

  // ...and the weave of the canvas, at the output's size.
  const float weavePeriod = std::max(2.5f, 2.6f * static_cast<float>(std::hypot(output.cols, output.rows)) / 1000.0f);
  std::vector<float> across(static_cast<std::size_t>(dst.cols));
  for (int x = 0; x < dst.cols; ++x) across[static_cast<std::size_t>(x)] = std::sin(static_cast<float>(x) * 6.2831853f / weavePeriod);
  return ParallelRows(dst.rows, cancel, [&](int y) {
    std::uint8_t* out = dst.ptr<std::uint8_t>(y);
    const float wy = std::sin(static_cast<float>(y) * 6.2831853f / weavePeriod);
    for (int x = 0; x < dst.cols; ++x) {
      const float wx = across[static_cast<std::size_t>(x)];
      const float weave = 1.0f - style.weave * (0.5f + 0.25f * (wx + wy));
      for (int ch = 0; ch < 3; ++ch) out[3 * x + ch] = ClampToByte(out[3 * x + ch] * weave + 0.5f);
    }
  });
}

CF_Paint::CF_Paint() : CF_SimpleFilter(kClassName, kTraits) {}

int CF_Paint::Load() {
  CF_SimpleFilter::Load();
  type_ = 0;
  brushes_.clear();
  missing_.clear();
  ReadAttribute(element_, "type", type_);
  for (const tinyxml2::XMLElement* param : ChildrenNamed(element_, "param")) {
    const std::string name = AttributeText(param, "tex");
    if (name.empty()) continue;
    const cv::Mat brush = LoadAsset(Folder(), name, missing_);
    if (!brush.empty()) brushes_.push_back(ToGreyTexture(brush));
  }
  if (brushes_.empty() && missing_.empty()) {
    brushes_.push_back(ToGreyTexture(DefaultBrush(BrushKind::kBristle)));
    brushes_.push_back(ToGreyTexture(DefaultBrush(BrushKind::kRound)));
  }
  return 0;
}

bool CF_Paint::RunKernel(const cv::Mat& in, cv::Mat& out) {
  if (!missing_.empty()) throw std::runtime_error("the painting cannot read its brush " + missing_);
  if (type_ != static_cast<int>(PaintStyle::kOil) && type_ != static_cast<int>(PaintStyle::kImpressionist)) return true;
  return PaintKernel(in, out, static_cast<PaintStyle>(type_), brushes_, seed_, StopFlag());
}

}  // namespace grinsnap
