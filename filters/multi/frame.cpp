#include "filters/multi/frame.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

#include <opencv2/imgproc.hpp>
#include <tinyxml2.h>

#include "core/sampler.h"
#include "core/xml_params.h"
#include "filters/kernel_support.h"
#include "platform/image_loader.h"
#include "platform/paths.h"

namespace grinsnap {

namespace {

constexpr float kGrey = 128.0f;
constexpr float kKeyTolerance = 5.0f;

// The columns of output row y (pixel centres at y + 0.5) inside a
// triangle: a pixel belongs when its centre lies in [left, right).
struct Span {
  int first = 0, last = -1;
  bool Empty() const { return last < first; }
};

Span TriangleSpan(const cv::Point2d& a, const cv::Point2d& b, const cv::Point2d& c, double y) {
  const cv::Point2d* p[3] = {&a, &b, &c};
  double lo = HUGE_VAL, hi = -HUGE_VAL;
  int hits = 0;
  for (int i = 0; i < 3; ++i) {
    const cv::Point2d& s = *p[i];
    const cv::Point2d& t = *p[(i + 1) % 3];
    if ((s.y <= y && y < t.y) || (t.y <= y && y < s.y)) {
      const double x = s.x + (y - s.y) * (t.x - s.x) / (t.y - s.y);
      lo = std::min(lo, x);
      hi = std::max(hi, x);
      ++hits;
    }
  }
  if (hits < 2) return {};
  return {static_cast<int>(std::ceil(lo - 0.5)), static_cast<int>(std::ceil(hi - 0.5)) - 1};
}

cv::Vec3f Pixel(const cv::Mat& image, int x, int y) {
  const cv::Vec3b v = image.ptr<cv::Vec3b>(y)[x];
  return {static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2])};
}

cv::Mat LoadPicture(const std::filesystem::path& folder, const tinyxml2::XMLElement* param, const char* name) {
  const char* file = param ? param->Attribute(name) : nullptr;
  if (!file) return {};
  return LoadImageFile(ResolveDataPath(folder, file), ImageLoadOptions{}).image;
}

}  // namespace

float EdgeWeight(float t, float e) {
  if (!(e > 0.0f)) return 1.0f;
  if (t >= e && t < 1.0f - e) return 1.0f;
  const float d = t < e ? t - e : t - (1.0f - e);
  return (std::cos(d / e * std::numbers::pi_v<float>) + 1.0f) * 0.5f;
}

cv::Vec3f ShadeWindowPixel(const cv::Vec3f& p, const cv::Vec3f& g, const cv::Vec3f* g2, float alpha, bool blend) {
  cv::Vec3f out;
  if (blend) {
    const float l = (p[0] + p[1] + p[2]) / 3.0f / 255.0f;
    if (g2) {
      for (int c = 0; c < 3; ++c) out[c] = (1.0f - l) * g[c] + l * (*g2)[c];
    } else {
      // The photo's brightness lightens or darkens the frame picture; the
      // opacity pulls it towards the neutral middle.
      const float t = (l - 0.5f) * alpha + 0.5f;
      for (int c = 0; c < 3; ++c)
        out[c] = t < 0.5f ? g[c] * 2.0f * t : 255.0f - (255.0f - g[c]) * 2.0f * (1.0f - t);
    }
  } else if (g2) {
    for (int c = 0; c < 3; ++c) {
      const float w = (128.0f + alpha * (p[c] - 128.0f)) / 255.0f;
      out[c] = (1.0f - w) * g[c] + w * (*g2)[c];
    }
  } else {
    for (int c = 0; c < 3; ++c) out[c] = (1.0f - alpha) * g[c] + alpha * p[c];
  }
  return out;
}

bool MatchesKey(const cv::Vec3b& m, const KeyColour& key) {
  return std::fabs(m[2] - key.r) < kKeyTolerance && std::fabs(m[1] - key.g) < kKeyTolerance &&
         std::fabs(m[0] - key.b) < kKeyTolerance;
}

bool DrawFrameWindow(const cv::Mat& photoIn, const std::array<cv::Point2d, 4>& corners, const WindowShading& shading,
                     const FramePictures& pictures, cv::Mat& out, const std::atomic<bool>* stop) {
  CV_Assert(out.type() == CV_8UC3);
  // The unit square's corners (0,0), (1,0), (0,1), (1,1) go to the four
  // corners; the inverse takes an output pixel back to the photo.
  const cv::Point2f unit[4] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
  const cv::Point2f quad[4] = {cv::Point2f(corners[0]), cv::Point2f(corners[1]), cv::Point2f(corners[2]),
                               cv::Point2f(corners[3])};
  cv::Mat forward;
  try {
    forward = cv::getPerspectiveTransform(unit, quad, cv::DECOMP_LU);
  } catch (const cv::Exception&) {
    return true;  // the corners lie on one line: the window has no area
  }
  cv::Mat inverse;
  if (forward.empty() || cv::invert(forward, inverse, cv::DECOMP_LU) == 0) return true;
  double h[9];
  for (int i = 0; i < 9; ++i) h[i] = inverse.at<double>(i / 3, i % 3);

  cv::Mat photo = photoIn;
  if (!photo.empty() && photo.type() != CV_8UC3) ToBgr8(photoIn, photo);
  const bool hasPhoto = !photo.empty();
  const cv::Scalar fill(shading.fillColour[0], shading.fillColour[1], shading.fillColour[2]);
  const bool fitMargins = shading.keepAspect && shading.fit;
  std::optional<TypedSampler<std::uint8_t, 3, 3>> sampler;
  if (hasPhoto) sampler.emplace(photo, fitMargins ? SampleBorder::Constant : SampleBorder::Clamp, fill);
  // Cropping or fitting the photo to the window's aspect ratio.
  float k = 1.0f, s = 1.0f;
  if (hasPhoto && shading.keepAspect) {
    k = shading.holeAspect / (static_cast<float>(photo.cols) / static_cast<float>(photo.rows));
    s = shading.fit ? std::min(k, 1.0f) : std::max(k, 1.0f);
  }
  const bool masked = shading.maskTest && !pictures.mask.empty();
  const int outW = out.cols, outH = out.rows;
  const std::int64_t natW = pictures.natural.width, natH = pictures.natural.height;

  double top = HUGE_VAL, bottom = -HUGE_VAL;
  for (const cv::Point2d& c : corners) top = std::min(top, c.y), bottom = std::max(bottom, c.y);
  const int firstRow = std::max(0, static_cast<int>(std::ceil(top - 0.5)));
  const int lastRow = std::min(outH - 1, static_cast<int>(std::ceil(bottom - 0.5)));
  if (lastRow < firstRow) return true;

  const auto shadeRow = [&](int b, int first, int last) {
    std::uint8_t* row = out.ptr<std::uint8_t>(b);
    const std::uint8_t* maskRow = nullptr;
    if (masked) {
      const std::int64_t my = natH > 0 ? b * natH / outH : b;
      if (my >= pictures.mask.rows) return;
      maskRow = pictures.mask.ptr<std::uint8_t>(static_cast<int>(my));
    }
    const double y = b + 0.5;
    for (int a = first; a <= last; ++a) {
      if (masked) {
        const std::int64_t mx = natW > 0 ? a * natW / outW : a;
        if (mx >= pictures.mask.cols) continue;
        const std::uint8_t* m = maskRow + 3 * mx;
        if (!MatchesKey(cv::Vec3b(m[0], m[1], m[2]), shading.key)) continue;
      }
      const double x = a + 0.5;
      const double w = h[6] * x + h[7] * y + h[8];
      const float u = std::clamp(static_cast<float>((h[0] * x + h[1] * y + h[2]) / w), 0.0f, 1.0f);
      const float v = std::clamp(static_cast<float>((h[3] * x + h[4] * y + h[5]) / w), 0.0f, 1.0f);
      cv::Vec3f p(kGrey, kGrey, kGrey);
      if (hasPhoto) p = sampler->At(0.5f + k * (u - 0.5f) / s, 0.5f + (v - 0.5f) / s);
      const cv::Vec3f g = pictures.background.empty() ? cv::Vec3f(kGrey, kGrey, kGrey) : Pixel(pictures.background, a, b);
      cv::Vec3f g2;
      const bool second = !pictures.background2.empty();
      if (second) g2 = Pixel(pictures.background2, a, b);
      const float alpha = EdgeWeight(u, shading.edge) * EdgeWeight(v, shading.edge) * shading.opacity;
      const cv::Vec3f value = ShadeWindowPixel(p, g, second ? &g2 : nullptr, alpha, shading.blend);
      for (int c = 0; c < 3; ++c) row[3 * a + c] = ClampToByte(value[c]);
    }
  };

  return ParallelRows(lastRow - firstRow + 1, stop, [&](int r) {
    const int b = firstRow + r;
    const double y = b + 0.5;
    // Two triangles split along the diagonal from the top-left corner to
    // the bottom-right one; a quadrilateral dragged out of shape still
    // shows both.
    Span s1 = TriangleSpan(corners[0], corners[1], corners[3], y);
    Span s2 = TriangleSpan(corners[0], corners[3], corners[2], y);
    for (Span* span : {&s1, &s2}) {
      span->first = std::max(span->first, 0);
      span->last = std::min(span->last, outW - 1);
    }
    if (!s1.Empty() && !s2.Empty() && s1.first <= s2.last + 1 && s2.first <= s1.last + 1) {
      shadeRow(b, std::min(s1.first, s2.first), std::max(s1.last, s2.last));
    } else {
      if (!s1.Empty()) shadeRow(b, s1.first, s1.last);
      if (!s2.Empty()) shadeRow(b, s2.first, s2.last);
    }
  });
}

CF_Frame::CF_Frame() : CF_MultiSrc(kClassName, kTraits) {}

int CF_Frame::Load() {
  CF_MultiSrc::Load();
  const tinyxml2::XMLElement* param = FirstChild(element_, "param");
  canvas_ = {kDefaultOutputWidth, kDefaultOutputHeight};
  if (param && param->Attribute("background")) {
    background_ = LoadPicture(Folder(), param, "background");
    background2_ = LoadPicture(Folder(), param, "background2");
    mask_ = LoadPicture(Folder(), param, "mask");
  } else if (param) {
    int width = 0, height = 0;
    ReadAttribute(param, "width", width);
    ReadAttribute(param, "height", height);
    if (width >= 1 && height >= 1) canvas_ = {width, height};
  }
  output_ = cv::Mat(Natural(), CV_8UC3, cv::Scalar::all(0));
  return 0;
}

cv::Size CF_Frame::Natural() const { return background_.empty() ? canvas_ : background_.size(); }

bool CF_Frame::PrepareOutput(const cv::Size* box) {
  cv::Size canvas = block_ ? cv::Size(block_->frameWidth, block_->frameHeight) : cv::Size();
  if (canvas.width < 1 || canvas.height < 1) canvas = Natural();
  if (background_.empty()) {
    const bool replaced = SizeFromCanvas(box, canvas);
    output_.setTo(cv::Scalar::all(0));
    return replaced;
  }
  bool replaced = false;
  if (box) {
    // The preview follows the box, but never further from the frame
    // picture's own size than the canvas is.
    const double fit = std::min(static_cast<double>(box->height) / canvas.height,
                                static_cast<double>(box->width) / canvas.width);
    const double ratio = std::max(static_cast<double>(background_.rows) / canvas.height,
                                  static_cast<double>(background_.cols) / canvas.width);
    const double t = std::clamp(fit, std::min(ratio, 1.0), std::max(ratio, 1.0));
    const cv::Size size(std::max(1, static_cast<int>(std::lround(canvas.width * t))),
                        std::max(1, static_cast<int>(std::lround(canvas.height * t))));
    output_.release();
    output_.create(size, CV_8UC3);
    replaced = true;
  } else if (output_.size() != canvas) {
    output_.release();
    output_.create(canvas, CV_8UC3);
    replaced = true;
  }
  output_.setTo(cv::Scalar::all(0));
  return replaced;
}

int CF_Frame::MaxSide(int window) const {
  if (block_ && block_->cellSize > 0) return block_->cellSize;
  if (!block_ || window >= block_->WindowCount()) return std::max(Natural().width, Natural().height);
  // The window's own extent in the frame picture.
  const FrameQuad& q = block_->Quad(window);
  int x0 = q.corners[0], x1 = q.corners[0], y0 = q.corners[1], y1 = q.corners[1];
  for (int i = 1; i < kCornerCount; ++i) {
    const cv::Point c = q.Corner(i);
    x0 = std::min(x0, c.x), x1 = std::max(x1, c.x), y0 = std::min(y0, c.y), y1 = std::max(y1, c.y);
  }
  return std::max({1, x1 - x0, y1 - y0});
}

WindowShading CF_Frame::Shading(int window) const {
  WindowShading s;
  const FrameBlock& b = *block_;
  s.keepAspect = b.hasAspect && b.stretch == 0;
  s.fit = b.fillMode == 1;
  s.holeAspect = b.Aspect(window);
  s.opacity = b.alpha;
  s.edge = b.edge;
  s.blend = b.gray;
  s.maskTest = b.hasMaskColor;
  s.key = b.Key(window);
  s.fillColour = cv::Vec3b((b.backgroundColor >> 16) & 0xFF, (b.backgroundColor >> 8) & 0xFF, b.backgroundColor & 0xFF);
  return s;
}

RenderResult CF_Frame::Run() {
  const cv::Size size = output_.size();
  if (!background_.empty()) {
    if (scaledBackground_.size() != size) {
      if (background_.size() == size)
        scaledBackground_ = background_;
      else
        cv::resize(background_, scaledBackground_, size, 0, 0, cv::INTER_LINEAR);
    }
    scaledBackground_.copyTo(output_);
  } else {
    output_.setTo(cv::Scalar::all(kGrey));
  }
  if (!background2_.empty() && scaledBackground2_.size() != size) {
    if (background2_.size() == size)
      scaledBackground2_ = background2_;
    else
      cv::resize(background2_, scaledBackground2_, size, 0, 0, cv::INTER_LINEAR);
  }
  if (!block_ || source_.empty()) return RenderResult::Done();
  const int windows = block_->WindowCount();
  if (!CollectHoleImages(windows, [this](int window) { return MaxSide(window); })) return RenderResult::Stopped();

  const cv::Size natural = Natural();
  FramePictures pictures{scaledBackground_, scaledBackground2_, mask_, natural};
  if (background_.empty()) pictures.background.release();
  if (background2_.empty()) pictures.background2.release();
  const double sx = static_cast<double>(size.width) / natural.width;
  const double sy = static_cast<double>(size.height) / natural.height;
  for (int window = 0; window < windows; ++window) {
    if (StopRequested()) return RenderResult::Stopped();
    const FrameQuad& quad = block_->Quad(window);
    std::array<cv::Point2d, 4> corners;
    for (int i = 0; i < kCornerCount; ++i) corners[i] = {quad.Corner(i).x * sx, quad.Corner(i).y * sy};
    const cv::Mat& photo = window == 0 ? source_ : holeImages_[static_cast<std::size_t>(window - 1)];
    if (!DrawFrameWindow(photo, corners, Shading(window), pictures, output_, StopFlag()))
      return RenderResult::Stopped();
  }
  return RenderResult::Done();
}

int CF_Frame::WindowAt(int x, int y) const {
  if (!block_) return -1;
  const int windows = block_->WindowCount();
  if (!mask_.empty() && block_->hasMaskColor) {
    if (x < 0 || y < 0 || x >= mask_.cols || y >= mask_.rows) return -1;
    const cv::Vec3b m = mask_.at<cv::Vec3b>(y, x);
    for (int window = 0; window < windows; ++window)
      if (MatchesKey(m, block_->Key(window))) return window;
    return -1;
  }
  // Without a mask the window whose outline holds the point; windows drawn
  // later lie on top.
  const cv::Point2f p(static_cast<float>(x) + 0.5f, static_cast<float>(y) + 0.5f);
  for (int window = windows - 1; window >= 0; --window) {
    const FrameQuad& q = block_->Quad(window);
    const std::vector<cv::Point2f> outline = {cv::Point2f(q.Corner(0)), cv::Point2f(q.Corner(1)),
                                              cv::Point2f(q.Corner(3)), cv::Point2f(q.Corner(2))};
    if (cv::pointPolygonTest(outline, p, false) >= 0) return window;
  }
  return -1;
}

void CF_Frame::PublishLayout() {
  if (!block_) return;
  const cv::Size natural = Natural();
  block_->frameWidth = natural.width;
  block_->frameHeight = natural.height;
  if (block_->dropInProgress) block_->selectedWindow = WindowAt(block_->dropX, block_->dropY);
}

void CF_Frame::ApplyPlacement(std::span<const cv::Mat> images, const PlacementRecord* placement) {
  (void)placement;
  if (!block_ || images.empty() || images.front().empty()) return;
  const int window = block_->selectedWindow;
  if (window < 0 || window >= block_->WindowCount()) return;
  PlaceInWindow(window, images.front(), MaxSide(window));
}

}  // namespace grinsnap
