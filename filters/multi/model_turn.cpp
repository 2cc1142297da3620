#include "filters/multi/model_turn.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include <opencv2/imgproc.hpp>

#include "platform/messages.h"

namespace grinsnap {

namespace {

Matrix3 Product(const Matrix3& a, const Matrix3& b) {
  Matrix3 r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r[3 * i + j] = a[3 * i] * b[j] + a[3 * i + 1] * b[3 + j] + a[3 * i + 2] * b[6 + j];
  return r;
}

Matrix3 AboutVertical(float t) {
  const float c = std::cos(t), s = std::sin(t);
  return {c, 0, s, 0, 1, 0, -s, 0, c};
}

}  // namespace

bool SaveModelTurn(CImageFilter& filter, MeshBlock* mesh_, const GifWriterOptions& gifOptions_, const std::string& path,
                   int maxWidth, int maxHeight, MessageTarget* progress, std::string& animationError_) {
  animationError_.clear();
  if (!mesh_) {
    animationError_ = "the model has no 3D parameters";
    return false;
  }
  const float step = mesh_->rotationSpeed;
  // A step of 0 (or one that is not a number) would never finish a turn.
  if (!(step != 0.0f) || !std::isfinite(step)) {
    animationError_ = "the rotation step is 0: the model would never complete a turn";
    return false;
  }
  filter.PrepareOutput(nullptr);
  const cv::Mat* output = filter.GetOutput();
  const cv::Size canvas = output ? output->size() : cv::Size();
  if (canvas.width < 1 || canvas.height < 1) {
    animationError_ = "the model has no picture to animate";
    return false;
  }
  const double scale = std::min({1.0, static_cast<double>(maxWidth) / canvas.width,
                                 static_cast<double>(maxHeight) / canvas.height});
  const cv::Size frameSize(std::max(1, static_cast<int>(std::lround(canvas.width * scale))),
                           std::max(1, static_cast<int>(std::lround(canvas.height * scale))));
  cv::Mat frame(frameSize, CV_8UC3);
  GifAnimationWriter writer(gifOptions_);
  if (!writer.CreatePalette() || !writer.Open(path, frameSize.width, frameSize.height)) {
    animationError_ = writer.Error();
    return false;
  }
  const Matrix3 rest = mesh_->rotation;
  constexpr double kTurn = 2.0 * std::numbers::pi;
  bool ok = true;
  try {
    // Frame i shows the model turned by i steps, the last one just short of a
    // whole turn so that the loop does not show the first angle twice; the
    // angle is i x step rather than a running sum, whose rounding would add
    // or drop a frame near the full turn.
    for (int i = 0;; ++i) {
      const double t = i * static_cast<double>(step);
      if (step > 0 ? t >= kTurn : t <= -kTurn) break;
      mesh_->rotation = Product(AboutVertical(static_cast<float>(t)), rest);
      filter.Process();
      output = filter.GetOutput();
      if (!filter.LastRun().IsFinished() || !output) {
        animationError_ = filter.LastRun().IsFailed() ? filter.LastRun().message : "the animation was stopped";
        ok = false;
        break;
      }
      cv::resize(*output, frame, frameSize, 0, 0, cv::INTER_LINEAR);
      if (!writer.WriteFrame(frame)) {
        animationError_ = writer.Error();
        ok = false;
        break;
      }
      if (progress) progress->Send(kMsgGifProgress, static_cast<WParam>(std::fabs(t) / kTurn * 100), 0);
    }
  } catch (const std::exception& e) {
    animationError_ = e.what();
    ok = false;
  }
  mesh_->rotation = rest;
  if (!ok) {
    writer.Abandon();
    return false;
  }
  if (!writer.Close()) {
    animationError_ = writer.Error();
    return false;
  }
  return true;
}


}  // namespace grinsnap
