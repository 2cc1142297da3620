#pragma once

#include <array>
#include <atomic>
#include <optional>
#include <vector>

#include <opencv2/core.hpp>

#include "face/face_state.h"

namespace grinsnap {

// The side of the square face patch the features are located in.
inline constexpr int kFacePatchSize = 400;

// One hypothesis of a feature: a short curved band whose centre line is
// y = y0 + slope * dx + curvature * dx^2, with its length (width) along x and
// its thickness (height), all in patch pixels, and the bounds each shape
// parameter is kept within (a pair of zero bounds means unbounded).
struct FeatureRecord {
  enum Param : int {
    kX = 0, kY, kWidth, kHeight, kCurvature, kSlope,
    kWidthMax, kWidthMin, kHeightMax, kHeightMin, kCurvatureMax, kCurvatureMin, kSlopeMax, kSlopeMin,
    kParamCount
  };

  std::array<float, kParamCount> p{};

  float& operator[](int i) { return p[static_cast<std::size_t>(i)]; }
  float operator[](int i) const { return p[static_cast<std::size_t>(i)]; }
  float X() const { return p[kX]; }
  float Y() const { return p[kY]; }
  float Width() const { return p[kWidth]; }
  float Height() const { return p[kHeight]; }
  float Curvature() const { return p[kCurvature]; }
  float Slope() const { return p[kSlope]; }

  static FeatureRecord Band(float x, float y, float width, float height) {
    FeatureRecord r;
    r[kX] = x;
    r[kY] = y;
    r[kWidth] = width;
    r[kHeight] = height;
    return r;
  }
  bool operator==(const FeatureRecord&) const = default;
};

// Whatever its bounds say, a band never bends more than this.
inline constexpr float kMaxCurvature = 0.002f;

// The contrast map of a face patch and its mean pyramid: level 0 is the map,
// levels 1.. halve it while a side stays even (200, 100, 50, 25 for the
// 400-pixel patch).
struct FeatureMaps {
  cv::Mat contrast;              // 8-bit, one channel
  std::vector<cv::Mat> pyramid;  // levels 1..LevelCount()

  int LevelCount() const { return static_cast<int>(pyramid.size()); }
  const cv::Mat& Level(int p) const { return p == 0 ? contrast : pyramid[static_cast<std::size_t>(p - 1)]; }
};

// The local standard deviation of the patch's grey values: for every pixel
// the 20 x 20 window of rows r-10..r+9 and columns c-10..c+9, clipped to
// rows and columns 0..398 (the patch's last row and column never take part).
// The grey values use the weights 0.299, 0.587, 0.114 on the channels in
// memory order, as OpenCV's RGB-to-grey conversion does.
void BuildContrastMap(const cv::Mat& patch, cv::Mat& contrast);
// The truncating 2 x 2 mean pyramid of base, while a side stays even.
void BuildMeanPyramid(const cv::Mat& base, std::vector<cv::Mat>& levels);
void BuildFeatureMaps(const cv::Mat& patch, FeatureMaps& maps);

// How well a band fits a level image: a contrast-energy factor times the
// squared normalised correlation of the band's weights with the image.
// Level p holds the map scaled by 0.5^p.
float ScoreFeature(const FeatureRecord& record, const cv::Mat& level, int p);

// A window of the patch a feature is expected in (exclusive bounds).
struct FeatureWindow {
  float cx, cy, width, height;
  bool Contains(float x, float y) const;
};
inline constexpr FeatureWindow kLeftEyeWindow{125, 153, 50, 60};
inline constexpr FeatureWindow kRightEyeWindow{275, 153, 50, 60};
inline constexpr FeatureWindow kMouthWindow{200, 328, 100, 50};

// The bounding quad of a feature's hypotheses after outlier rejection, at
// least 100 wide and each edge at least 50 high (patch pixels). The corner
// nodes of the mouth (records 0 and 4) always take part.
FeatureQuad BuildFeatureQuad(const std::array<FeatureRecord, 5>& records, const FeatureWindow& window, bool mouth);
// Brings the eyes' tops and bottoms within 5 pixels of each other and the
// mouth's edge heights within 20.
void MakeFeatureQuadsSymmetric(std::array<FeatureQuad, 3>& quads);

// The fit of both eyes and the mouth on a set of feature maps: five
// hypotheses per eye improved by greedy steps from the coarsest level to
// the finest, then the mouth as five nodes on springs, pulled by the score
// gradient.
class FeatureFit {
public:
  static constexpr int kHypotheses = 5;
  static constexpr int kMaxMovesPerLevel = 10;
  using Records = std::array<FeatureRecord, kHypotheses>;

  FeatureFit();

  // The records every fit starts from.
  static Records DefaultLeftEye();
  static Records DefaultRightEye();
  static Records DefaultMouth();
  // Sets all fifteen records to their defaults; the mouth's rest shape stays.
  void ResetRecords();
  // The mouth's rest shape becomes the current mouth nodes.
  void TakeMouthRestShape() { mouthRest_ = mouth_; }

  // One greedy step of a record at level p: the best of twelve one-parameter
  // trials (only the eight shape trials while position moves are not
  // allowed) is taken when it scores above the record's current score.
  bool Step(FeatureRecord& record, const FeatureMaps& maps, int p);

  // Runs the whole fit from the default records. False when cancel was set
  // during it; the records are then left where the fit stopped.
  bool Run(const FeatureMaps& maps, const std::atomic<bool>* cancel);

  // The left-eye, right-eye and mouth quads of the current records, made
  // symmetric (patch pixels).
  std::array<FeatureQuad, 3> Quads() const;

  Records& LeftEye() { return leftEye_; }
  Records& RightEye() { return rightEye_; }
  Records& Mouth() { return mouth_; }
  const Records& MouthRest() const { return mouthRest_; }
  void SetPositionMovesAllowed(bool allowed) { positionMovesAllowed_ = allowed; }
  float LastScore() const { return lastScore_; }
  cv::Point2f ScoreGradient() const { return gradient_; }

private:
  // A step whose record's current score is already known; the score the
  // record has after a move goes to scoreAfter.
  bool Step(FeatureRecord& record, const FeatureMaps& maps, int p, std::optional<float> known, float* scoreAfter);
  bool FitMouth(const FeatureMaps& maps, const std::atomic<bool>* cancel);

  Records leftEye_, rightEye_, mouth_, mouthRest_;
  bool positionMovesAllowed_ = true;
  float lastScore_ = 0;
  cv::Point2f gradient_;
};

}  // namespace grinsnap
