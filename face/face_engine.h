#pragma once

#include <array>
#include <atomic>

#include <opencv2/core.hpp>

#include "face/face_detector.h"
#include "face/face_state.h"
#include "face/feature_fit.h"

namespace grinsnap {

// The face engine's detection and feature-location part: the photo (source
// image) and its working image, the face box, the 400 x 400 face patch with
// its contrast map and pyramid, the feature fit and the quads in use.
//
// Frames: source pixels (everything exchanged with the face template),
// working pixels (the face box) and patch pixels (the fit and the quads kept
// here).
class CFaceEngine {
public:
  CFaceEngine();

  // Takes a copy of the photo as the source image (grey and four-channel
  // photos become three-channel) and derives the working image.
  void SetSourceImage(const cv::Mat& photo);
  const cv::Mat& SourceImage() const { return source_; }
  const cv::Mat& WorkingImage() const { return working_; }

  const FaceBox& Box() const { return box_; }
  void SetBox(const FaceBox& box) { box_ = box; }

  // The face patch, the contrast map and the pyramid of the face box.
  void BuildFacePatch();
  // Fits the eyes and the mouth; on completion sets the quads and marks the
  // features located. Does nothing without a working image; a cancelled fit
  // keeps the quads it had and leaves the features not located.
  void LocateFeatures();
  // Stops a running fit within one step; may be called from any thread.
  void CancelFit() { fitCancelled_ = true; }

  // A quad in source pixels (kind: FeatureKind). All zeros without a source
  // or working image, and for the features while they are not located.
  FeatureQuad GetQuad(int kind) const;
  // Sets a feature quad from source pixels (and marks the features located),
  // or for the face moves the face box, keeping the features where they are
  // on the photo, and rebuilds the patch.
  void SetQuad(int kind, const FeatureQuad& quad);
  bool FeaturesLocated() const { return featuresLocated_; }
  // A new photo: no face box, no features.
  void ForgetFace();

  // The eye and mouth quads assumed when there is no fit, from the face quad
  // (source pixels).
  static std::array<FeatureQuad, 3> DefaultFeatureQuads(const FeatureQuad& face);

  // Score and greedy step of a record on level p of the current maps.
  float ScoreFeature(const FeatureRecord& record, int level) const;
  bool StepFeature(FeatureRecord& record, int level) { return fit_.Step(record, maps_, level); }

  // The default records, and the mouth's rest shape taken from them.
  void SetDefaultRecords() { fit_.ResetRecords(); }
  void TakeMouthRestShape() { fit_.TakeMouthRestShape(); }

  const cv::Mat& FacePatch() const { return patch_; }
  const FeatureMaps& Maps() const { return maps_; }
  FeatureFit& Fit() { return fit_; }
  // The quads in use, in patch pixels.
  const std::array<FeatureQuad, 3>& PatchQuads() const { return quads_; }

private:
  bool HasImages() const { return !source_.empty() && !working_.empty(); }
  bool BoxHasArea() const { return box_.width != 0 && box_.height != 0; }

  cv::Mat source_;
  cv::Mat working_;
  FaceBox box_;
  cv::Mat patch_;
  FeatureMaps maps_;
  FeatureFit fit_;
  std::array<FeatureQuad, 3> quads_{};
  bool featuresLocated_ = false;
  std::atomic<bool> fitCancelled_{false};
};

}  // namespace grinsnap
