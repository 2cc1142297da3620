#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "face/feature_fit.h"

namespace grinsnap {
namespace {

// Feature maps whose contrast map is the given picture.
FeatureMaps MapsOf(const cv::Mat& contrast) {
  FeatureMaps maps;
  maps.contrast = contrast;
  BuildMeanPyramid(maps.contrast, maps.pyramid);
  return maps;
}

cv::Mat FlatMap() { return cv::Mat::zeros(kFacePatchSize, kFacePatchSize, CV_8UC1); }

void ExpectQuadNear(const FeatureQuad& actual, const FeatureQuad& expected, float tolerance, const char* what) {
  for (std::size_t i = 0; i < 8; ++i) EXPECT_NEAR(actual.v[i], expected.v[i], tolerance) << what << " value " << i;
}

TEST(FeatureMaps, ContrastIsTheLocalSpreadOfGreyWithTheLastRowAndColumnLeftOut) {
  // Left half black, right half one colour: at column 200 the window holds
  // ten of each, at column 199 eleven black and nine coloured.
  const struct {
    cv::Vec3b colour;
    int at200, at199;
  } cases[] = {
      {{200, 200, 200}, 100, 99},  // grey 200: spread 100, sqrt(9900)
      {{100, 0, 0}, 15, 14},       // the first channel weighs 0.299: grey 30
      {{0, 0, 100}, 5, 5},         // the third 0.114: grey 11
  };
  for (const auto& c : cases) {
    cv::Mat patch(kFacePatchSize, kFacePatchSize, CV_8UC3, cv::Scalar::all(0));
    patch.colRange(200, kFacePatchSize).setTo(c.colour);
    cv::Mat contrast;
    BuildContrastMap(patch, contrast);
    EXPECT_EQ(contrast.at<uchar>(50, 200), c.at200) << c.colour;
    EXPECT_EQ(contrast.at<uchar>(399, 199), c.at199) << c.colour;
    EXPECT_EQ(contrast.at<uchar>(200, 100), 0);
    EXPECT_EQ(contrast.at<uchar>(200, 300), 0);
  }
  // Only the last row and column bright: no window sees them.
  cv::Mat patch(kFacePatchSize, kFacePatchSize, CV_8UC3, cv::Scalar::all(0));
  patch.row(399).setTo(cv::Scalar::all(255));
  patch.col(399).setTo(cv::Scalar::all(255));
  cv::Mat contrast;
  BuildContrastMap(patch, contrast);
  EXPECT_EQ(cv::countNonZero(contrast), 0);
}

TEST(FeatureMaps, ThePyramidHalvesWhileASideIsEvenWithTruncatingMeans) {
  cv::Mat base(kFacePatchSize, kFacePatchSize, CV_8UC1, cv::Scalar(2));
  base.at<uchar>(0, 0) = 1;  // the first block sums to 7: mean 1
  std::vector<cv::Mat> levels;
  BuildMeanPyramid(base, levels);
  ASSERT_EQ(levels.size(), 4u);
  for (int p = 0; p < 4; ++p) EXPECT_EQ(levels[static_cast<std::size_t>(p)].cols, 200 >> p);
  EXPECT_EQ(levels[0].at<uchar>(0, 0), 1);
  EXPECT_EQ(levels[0].at<uchar>(0, 1), 2);
  EXPECT_EQ(levels[1].at<uchar>(0, 0), 1);  // (1 + 2 + 2 + 2) >> 2
}

TEST(FeatureScore, FlatMapsScoreNothingAndCurvatureIsAlwaysClamped) {
  const FeatureMaps flat = MapsOf(FlatMap());
  FeatureFit fit;
  for (int p = 0; p <= 4; ++p) EXPECT_EQ(ScoreFeature(fit.LeftEye()[0], flat.Level(p), p), 0.0f);
  FeatureRecord band = FeatureRecord::Band(125, 153, 100, 20);
  EXPECT_FALSE(fit.Step(band, flat, 0));
  EXPECT_EQ(band, FeatureRecord::Band(125, 153, 100, 20));

  // A strongly bent bright arc: more bend would fit better, but curvature
  // stays within +-0.002 even with bounds 0 and 0.
  cv::Mat arc = FlatMap();
  for (int x = 60; x < 190; ++x) {
    const int y = static_cast<int>(150 + 0.01 * (x - 125) * (x - 125));
    cv::line(arc, {x, y - 4}, {x, y + 4}, cv::Scalar(220));
  }
  const FeatureMaps maps = MapsOf(arc);
  FeatureRecord bent = FeatureRecord::Band(125, 150, 100, 10);
  bent[FeatureRecord::kCurvature] = 0.0025f;
  FeatureRecord clamped = bent;
  clamped[FeatureRecord::kCurvature] = kMaxCurvature;
  EXPECT_EQ(ScoreFeature(bent, arc, 0), ScoreFeature(clamped, arc, 0));
  for (int moves = 0; moves < 40 && fit.Step(bent, maps, 0); ++moves) EXPECT_LE(std::abs(bent.Curvature()), kMaxCurvature);
  EXPECT_FLOAT_EQ(bent.Curvature(), kMaxCurvature);

  // Bounds: a mouth node at its widest stays there.
  FeatureRecord node = FeatureFit::DefaultMouth()[2];
  node[FeatureRecord::kWidth] = 140;
  node[FeatureRecord::kY] = 150;
  for (int moves = 0; moves < 40 && fit.Step(node, maps, 0); ++moves) EXPECT_LE(node.Width(), 140.0f);
}

TEST(FeatureFit, AllLeftEyeHypothesesConvergeOnABrightBand) {
  // Bright in the middle and fading into the dark around it, so that every
  // hypothesis sees which way the band lies.
  cv::Mat map = FlatMap();
  map(cv::Rect(85, 144, 80, 12)).setTo(cv::Scalar(255));
  cv::GaussianBlur(map, map, {0, 0}, 20);
  FeatureFit fit;
  ASSERT_TRUE(fit.Run(MapsOf(map), nullptr));
  for (const FeatureRecord& r : fit.LeftEye()) {
    EXPECT_NEAR(r.X(), 125, 8) << r.Y();
    EXPECT_NEAR(r.Y(), 150, 5) << r.X() << " " << r.Width() << " " << r.Height();
  }
  const FeatureQuad quad = fit.Quads()[kLeftEye];
  EXPECT_LE(quad.v[0], 85);
  EXPECT_GE(quad.v[2], 165);
  EXPECT_GE(quad.v[2] - quad.v[0], 100);
  EXPECT_LE(std::max(quad.v[1], quad.v[3]), 144);
  EXPECT_GE(std::min(quad.v[5], quad.v[7]), 156);
  EXPECT_GE(quad.v[7] - quad.v[1], 50);

  // A fit that is cancelled stops before it moves anything.
  std::atomic<bool> cancel{true};
  EXPECT_FALSE(fit.Run(MapsOf(map), &cancel));
  EXPECT_EQ(fit.LeftEye(), FeatureFit::DefaultLeftEye());
}

TEST(FeatureQuads, DefaultRecordsOnAFlatMap) {
  FeatureFit fit;
  ASSERT_TRUE(fit.Run(MapsOf(FlatMap()), nullptr));
  const std::array<FeatureQuad, 3> quads = fit.Quads();
  // Only the middle hypothesis survives the outlier rejection, the window
  // adds its neighbours at 133 and 173, and the width is widened to 100.
  ExpectQuadNear(quads[kLeftEye], FeatureQuad::Rectangle(75, 123, 175, 183), 1e-4f, "left eye");
  ExpectQuadNear(quads[kRightEye], FeatureQuad::Rectangle(225, 123, 325, 183), 1e-4f, "right eye");
  // The mouth: centre node and both corners, its 33 pixels made 50.
  ExpectQuadNear(quads[kMouth], FeatureQuad::Rectangle(129.5f, 303, 270.5f, 353), 1e-4f, "mouth");
}

TEST(FeatureQuads, AFarHypothesisOutsideTheWindowIsLeftOut) {
  FeatureFit::Records records = FeatureFit::DefaultLeftEye();
  for (std::size_t k = 0; k < 4; ++k) records[k] = FeatureRecord::Band(120.0f + 3 * k, 150.0f + 2 * k, 60, 20);
  records[4] = FeatureRecord::Band(60, 240, 200, 20);
  const FeatureQuad quad = BuildFeatureQuad(records, kLeftEyeWindow, false);
  ExpectQuadNear(quad, FeatureQuad::Rectangle(74.5f, 128, 174.5f, 178), 1e-4f, "left eye");
  // A mouth corner takes part wherever it is.
  FeatureFit::Records mouth = FeatureFit::DefaultMouth();
  mouth[4][FeatureRecord::kX] = 330;
  EXPECT_FLOAT_EQ(BuildFeatureQuad(mouth, kMouthWindow, true).v[2], 330 + 122 / 4.0f);
}

TEST(FeatureQuads, SymmetryPullsEyesWithin5AndMouthEdgesWithin20) {
  std::array<FeatureQuad, 3> quads = {FeatureQuad::Rectangle(75, 112, 175, 170), FeatureQuad::Rectangle(225, 124, 325, 172),
                                      FeatureQuad{{130, 300, 270, 315, 270, 345, 130, 360}}};
  MakeFeatureQuadsSymmetric(quads);
  // Tops 12 apart move 3.5 each; bottoms 2 apart stay.
  ExpectQuadNear(quads[kLeftEye], FeatureQuad::Rectangle(75, 115.5f, 175, 170), 1e-5f, "left eye");
  ExpectQuadNear(quads[kRightEye], FeatureQuad::Rectangle(225, 120.5f, 325, 172), 1e-5f, "right eye");
  // Edge heights 60 and 30: q = -5, so 50 and 40.
  ExpectQuadNear(quads[kMouth], FeatureQuad{{130, 305, 270, 310, 270, 350, 130, 355}}, 1e-5f, "mouth");
}

}  // namespace
}  // namespace grinsnap
