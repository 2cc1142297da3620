#include <thread>

#include <gtest/gtest.h>

#include "core/photo_item.h"
#include "face/face_engine.h"
#include "face/face_test_util.h"
#include "face/feature_ellipse.h"

namespace grinsnap {
namespace {

cv::Point2f Centre(const FeatureQuad& q) {
  return (q.At(0) + q.At(1) + q.At(2) + q.At(3)) * 0.25f;
}

void ExpectQuadNear(const FeatureQuad& actual, const FeatureQuad& expected, float tolerance, const std::string& what) {
  for (std::size_t i = 0; i < 8; ++i) EXPECT_NEAR(actual.v[i], expected.v[i], tolerance) << what << " value " << i;
}

// The astronaut with its face found and the features located.
struct AstronautEngine {
  CFaceEngine engine;
  AstronautEngine() {
    FaceDetector detector(test::BuiltCascade());
    detector.SetLog({nullptr, nullptr});
    EXPECT_EQ(detector.LoadCascade(), 0);
    engine.SetSourceImage(test::SamplePhoto("astronaut.png"));
    engine.SetBox(detector.DetectNext(engine.WorkingImage()));
    engine.BuildFacePatch();
    engine.LocateFeatures();
  }
};

TEST(FaceEngine, FindsTheAstronautsEyesAndMouthWhereTheyWereMarkedByHand) {
  AstronautEngine a;
  ASSERT_TRUE(a.engine.FeaturesLocated());
  // Marked by hand on the 512 x 512 photo (pupils, and the middle of the lips).
  const struct {
    int kind;
    cv::Point2f marked;
  } features[] = {{kLeftEye, {202, 102}}, {kRightEye, {247, 103}}, {kMouth, {224, 146}}};
  // About 6 % of the face's width.
  constexpr float kTolerance = 6;
  const FeatureQuad face = a.engine.GetQuad(kFaceQuad);
  for (const auto& f : features) {
    const FeatureQuad quad = a.engine.GetQuad(f.kind);
    const cv::Point2f centre = Centre(quad);
    EXPECT_NEAR(centre.x, f.marked.x, kTolerance) << f.kind;
    EXPECT_NEAR(centre.y, f.marked.y, kTolerance) << f.kind;
    for (int c = 0; c < 4; ++c) {
      EXPECT_GT(quad.At(c).x, face.v[0]);
      EXPECT_LT(quad.At(c).x, face.v[2]);
      EXPECT_GT(quad.At(c).y, face.v[1]);
      EXPECT_LT(quad.At(c).y, face.v[5]);
    }
  }
}

TEST(FaceEngine, QuadsConvertBetweenPhotoWorkingImageAndPatch) {
  CFaceEngine engine;
  EXPECT_TRUE(engine.GetQuad(kFaceQuad).IsZero());  // no photo yet
  engine.SetSourceImage(cv::Mat(500, 1000, CV_8UC3, cv::Scalar::all(90)));  // working 800 x 400
  engine.SetBox({200, 100, 160, 80});
  EXPECT_EQ(engine.GetQuad(kFaceQuad), FeatureQuad::Rectangle(250, 125, 450, 225));
  EXPECT_TRUE(engine.GetQuad(kLeftEye).IsZero());  // not located

  // Source (300, 150) is working (240, 120), patch (100, 100).
  const FeatureQuad eye = FeatureQuad::Rectangle(300, 150, 350, 175);
  engine.SetQuad(kLeftEye, eye);
  EXPECT_TRUE(engine.FeaturesLocated());
  ExpectQuadNear(engine.PatchQuads()[kLeftEye], FeatureQuad::Rectangle(100, 100, 200, 200), 1e-3f, "patch");
  ExpectQuadNear(engine.GetQuad(kLeftEye), eye, 1e-3f, "round trip");

  // A face quad twice as large moves the box; the eye stays on the photo.
  engine.SetQuad(kFaceQuad, FeatureQuad::Rectangle(150, 75, 550, 275));
  EXPECT_EQ(engine.Box(), (FaceBox{120, 60, 320, 160}));
  ExpectQuadNear(engine.GetQuad(kLeftEye), eye, 1e-3f, "after the move");
  ExpectQuadNear(engine.PatchQuads()[kLeftEye], FeatureQuad::Rectangle(150, 150, 200, 200), 1e-3f, "patch");

  // A box without area: quads stay in patch pixels both ways.
  engine.SetBox({});
  engine.SetQuad(kMouth, FeatureQuad::Rectangle(1, 2, 3, 4));
  EXPECT_EQ(engine.GetQuad(kMouth), FeatureQuad::Rectangle(1, 2, 3, 4));
  engine.BuildFacePatch();
  EXPECT_EQ(cv::countNonZero(engine.Maps().contrast), 0);
}

TEST(FaceEngine, ABoxReachingBeyondThePhotoIsBlackOutside) {
  CFaceEngine engine;
  engine.SetSourceImage(cv::Mat(600, 800, CV_8UC3, cv::Scalar::all(200)));
  engine.SetBox({600, -100, 400, 400});  // half beyond the right edge, a quarter above
  engine.BuildFacePatch();
  const cv::Mat& patch = engine.FacePatch();
  EXPECT_EQ(patch.at<cv::Vec3b>(150, 50), cv::Vec3b::all(200));
  EXPECT_EQ(patch.at<cv::Vec3b>(150, 350), cv::Vec3b::all(0));
  EXPECT_EQ(patch.at<cv::Vec3b>(50, 50), cv::Vec3b::all(0));
}

TEST(FaceEngine, ACancelledFitKeepsTheQuadsItHad) {
  AstronautEngine a;
  const std::array<FeatureQuad, 3> before = a.engine.PatchQuads();
  a.engine.SetBox({150, 150, 200, 200});
  a.engine.BuildFacePatch();
  // Cancels again and again until the fit has returned: the fit clears the
  // flag when it starts and sees it set at its next step.
  std::atomic<bool> done{false};
  std::thread canceller([&] {
    while (!done) a.engine.CancelFit();
  });
  a.engine.LocateFeatures();
  done = true;
  canceller.join();
  EXPECT_FALSE(a.engine.FeaturesLocated());
  EXPECT_EQ(a.engine.PatchQuads(), before);
}

TEST(FaceEngine, DefaultFeatureQuadsFollowTheFaceQuad) {
  const auto quads = CFaceEngine::DefaultFeatureQuads(FeatureQuad::Rectangle(100, 100, 400, 400));
  ExpectQuadNear(quads[kLeftEye], FeatureQuad::Rectangle(160, 200, 220, 250), 1e-4f, "left eye");
  ExpectQuadNear(quads[kRightEye], FeatureQuad::Rectangle(280, 200, 340, 250), 1e-4f, "right eye");
  ExpectQuadNear(quads[kMouth], FeatureQuad::Rectangle(200, 280, 300, 340), 1e-4f, "mouth");
}

TEST(FeatureEllipse, QuadsSurviveTheRoundTripThroughTheirEllipse) {
  const struct {
    FeatureQuad quad;
    double a, b;  // expected semi-axes, 0 when not checked
  } cases[] = {
      {FeatureQuad::Rectangle(100, 100, 220, 160), 25, 50},  // wide: the quad is 1.2 x the ellipse's box
      {FeatureQuad::Rectangle(0, 0, 60, 120), 50, 25},       // tall
      {{{100, 100, 200, 120, 200, 170, 100, 150}}, 0, 0},    // sheared, right edge 20 lower
      {{{50, 80, 150, 60, 150, 100, 50, 120}}, 0, 0},        // sheared the other way
  };
  for (const auto& c : cases) {
    const FeatureEllipse e = QuadToEllipse(c.quad);
    ExpectQuadNear(EllipseToQuad(e), c.quad, 1e-3f, "round trip");
    if (c.a > 0) {
      EXPECT_NEAR(e.a, c.a, 1e-9);
      EXPECT_NEAR(e.b, c.b, 1e-9);
    }
    const std::vector<cv::Point2f> outline = EllipsePolygon(e);
    ASSERT_EQ(outline.size(), 100u);
    EXPECT_EQ(outline[0], EllipsePoint(e, 1, 0));
    const cv::Point2f centre = Centre(c.quad);
    EXPECT_NEAR(e.cx, centre.x, 1e-4);
    EXPECT_NEAR(e.cy, centre.y, 1e-4);
  }
  // A quad without height has no ellipse; its quad collapses to the centre.
  const FeatureEllipse flat = QuadToEllipse(FeatureQuad::Rectangle(10, 20, 30, 20));
  EXPECT_EQ(EllipseToQuad(flat), FeatureQuad::Rectangle(20, 20, 20, 20));
}

TEST(FaceState, ThePerPhotoBlockTravelsAsThePhotosFaceData) {
  PhotoFaceData data;
  data.quads[kMouth] = FeatureQuad::Rectangle(1, 2, 3, 4);
  data.quadValid[kFaceQuad] = 1;
  data.faceFound = 1;
  data.stateChanged = 1;
  PhotoItem photo = PhotoItem::FromImage(cv::Mat(4, 4, CV_8UC3));
  photo.faceData = ToFaceData(data);
  const PhotoItem copy = photo;
  const PhotoFaceData back = FromFaceData(copy.faceData);
  EXPECT_EQ(back.quads[kMouth], data.quads[kMouth]);
  EXPECT_EQ(back.expressionSigns[0], 1);
  EXPECT_EQ(back.maskSizes[2], 1.25f);
  EXPECT_EQ(back.faceFound, 1);
  EXPECT_EQ(back.featuresFound, 0);
  EXPECT_EQ(back.stateChanged, 1);
  EXPECT_EQ(ToFaceData(back), photo.faceData);
}

}  // namespace
}  // namespace grinsnap
