#include "face/face_engine.h"

#include <cmath>

#include <opencv2/imgproc.hpp>

#include "core/numeric.h"
#include "platform/image_loader.h"

namespace grinsnap {

namespace {

constexpr float kPatch = static_cast<float>(kFacePatchSize);

std::int32_t NearestInt(double v) { return SaturateToInt32(std::nearbyint(v)); }

}  // namespace

CFaceEngine::CFaceEngine() {
  patch_ = cv::Mat::zeros(kFacePatchSize, kFacePatchSize, CV_8UC3);
  BuildFeatureMaps(patch_, maps_);
}

void CFaceEngine::SetSourceImage(const cv::Mat& photo) {
  if (photo.empty()) return;
  source_ = photo.type() == CV_8UC3 ? photo.clone() : ToEightBitColour(photo, false);
  working_ = MakeFaceWorkingImage(source_);
}

void CFaceEngine::ForgetFace() {
  box_ = {};
  featuresLocated_ = false;
}

void CFaceEngine::BuildFacePatch() {
  if (box_.width < 1 || box_.height < 1 || working_.empty()) {
    patch_.setTo(cv::Scalar::all(0));
  } else {
    const cv::Size patchSize(kFacePatchSize, kFacePatchSize);
    // In 64 bits: a box the user set may reach far beyond the photo.
    const bool inside = box_.x >= 0 && box_.y >= 0 && std::int64_t(box_.x) + box_.width <= working_.cols &&
                        std::int64_t(box_.y) + box_.height <= working_.rows;
    if (inside) {
      cv::resize(working_(cv::Rect(box_.x, box_.y, box_.width, box_.height)), patch_, patchSize, 0, 0,
                 cv::INTER_LINEAR);
    } else {
      // A box the user dragged beyond the photo: the part outside is black,
      // so the patch still maps onto the box as the quads assume.
      const double sx = static_cast<double>(box_.width) / kFacePatchSize;
      const double sy = static_cast<double>(box_.height) / kFacePatchSize;
      const cv::Matx23d toWorking(sx, 0, box_.x + 0.5 * sx - 0.5, 0, sy, box_.y + 0.5 * sy - 0.5);
      cv::warpAffine(working_, patch_, toWorking, patchSize, cv::INTER_LINEAR | cv::WARP_INVERSE_MAP,
                     cv::BORDER_CONSTANT, cv::Scalar::all(0));
    }
  }
  BuildFeatureMaps(patch_, maps_);
}

void CFaceEngine::LocateFeatures() {
  if (working_.empty()) return;
  featuresLocated_ = false;
  fitCancelled_ = false;
  if (!fit_.Run(maps_, &fitCancelled_)) return;
  quads_ = fit_.Quads();
  featuresLocated_ = true;
}

float CFaceEngine::ScoreFeature(const FeatureRecord& record, int level) const {
  return grinsnap::ScoreFeature(record, maps_.Level(level), level);
}

FeatureQuad CFaceEngine::GetQuad(int kind) const {
  FeatureQuad out;
  if (!HasImages() || kind < kLeftEye || kind > kFaceQuad) return out;
  const double sx = static_cast<double>(source_.cols) / working_.cols;
  const double sy = static_cast<double>(source_.rows) / working_.rows;
  if (kind == kFaceQuad) {
    const double x0 = box_.x, y0 = box_.y, x1 = x0 + box_.width, y1 = y0 + box_.height;
    return FeatureQuad::Rectangle(static_cast<float>(x0 * sx), static_cast<float>(y0 * sy),
                                  static_cast<float>(x1 * sx), static_cast<float>(y1 * sy));
  }
  if (!featuresLocated_) return out;
  const FeatureQuad& patchQuad = quads_[static_cast<std::size_t>(kind)];
  if (!BoxHasArea()) return patchQuad;
  for (int c = 0; c < 4; ++c) {
    const cv::Point2f p = patchQuad.At(c);
    out.Set(c, cv::Point2f(static_cast<float>((box_.x + box_.width * static_cast<double>(p.x) / kPatch) * sx),
                           static_cast<float>((box_.y + box_.height * static_cast<double>(p.y) / kPatch) * sy)));
  }
  return out;
}

void CFaceEngine::SetQuad(int kind, const FeatureQuad& quad) {
  if (kind >= kLeftEye && kind <= kMouth) {
    FeatureQuad& stored = quads_[static_cast<std::size_t>(kind)];
    if (!HasImages() || !BoxHasArea()) {
      stored = quad;
    } else {
      const double wx = static_cast<double>(working_.cols) / source_.cols;
      const double wy = static_cast<double>(working_.rows) / source_.rows;
      for (int c = 0; c < 4; ++c) {
        const cv::Point2f p = quad.At(c);
        stored.Set(c, cv::Point2f(static_cast<float>((p.x * wx - box_.x) / box_.width * kPatch),
                                  static_cast<float>((p.y * wy - box_.y) / box_.height * kPatch)));
      }
    }
    featuresLocated_ = true;
    return;
  }
  // Without a photo there is no frame to move the box in.
  if (kind != kFaceQuad || !HasImages()) return;
  const auto mean = [](float a, float b) { return (static_cast<double>(a) + b) / 2; };
  const double left = mean(quad.v[0], quad.v[6]), top = mean(quad.v[1], quad.v[3]);
  const double right = mean(quad.v[2], quad.v[4]), bottom = mean(quad.v[5], quad.v[7]);
  const double wx = static_cast<double>(working_.cols) / source_.cols;
  const double wy = static_cast<double>(working_.rows) / source_.rows;

  // The features keep their place on the photo while the box moves under them.
  const bool located = featuresLocated_;
  std::array<FeatureQuad, 3> onPhoto;
  for (int k = kLeftEye; k <= kMouth; ++k) onPhoto[static_cast<std::size_t>(k)] = GetQuad(k);
  box_ = {NearestInt(left * wx), NearestInt(top * wy), NearestInt((right - left) * wx), NearestInt((bottom - top) * wy)};
  for (int k = kLeftEye; k <= kMouth; ++k) SetQuad(k, onPhoto[static_cast<std::size_t>(k)]);
  featuresLocated_ = located;
  BuildFacePatch();
}

std::array<FeatureQuad, 3> CFaceEngine::DefaultFeatureQuads(const FeatureQuad& f) {
  const cv::Point2f tl = f.At(FeatureQuad::kTopLeft), tr = f.At(FeatureQuad::kTopRight);
  const cv::Point2f br = f.At(FeatureQuad::kBottomRight), bl = f.At(FeatureQuad::kBottomLeft);
  const float u = tr.x - tl.x;
  const float t = (tl.y + tr.y) / 2, b = (bl.y + br.y) / 2;
  const float v = b - t;
  const float bottomWidth = br.x - bl.x;
  return {FeatureQuad::Rectangle(tl.x + u / 5, t + v / 3, tl.x + 2 * u / 5, t + v / 2),
          FeatureQuad::Rectangle(tl.x + 3 * u / 5, t + v / 3, tl.x + 4 * u / 5, t + v / 2),
          FeatureQuad::Rectangle(bl.x + bottomWidth / 3, t + 0.6f * v, bl.x + 2 * bottomWidth / 3, t + 0.8f * v)};
}

}  // namespace grinsnap
