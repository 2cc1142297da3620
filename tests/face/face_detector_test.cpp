#include <algorithm>
#include <thread>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>
#include <opencv2/objdetect.hpp>

#include "face/face_detector.h"
#include "face/face_test_util.h"
#include "test_support/test_support.h"

namespace grinsnap {
namespace {

using test::AstronautHead;
using test::BuiltCascade;
using test::CapturedStream;
using test::SamplePhoto;

// What OpenCV's own detector finds with the same settings, worked out here
// without the detector class: working-image boxes from left to right.
std::vector<FaceBox> ReferenceFaces(const cv::Mat& working) {
  cv::CascadeClassifier cascade(BuiltCascade().string());
  EXPECT_FALSE(cascade.empty());
  cv::Mat grey, small;
  cv::cvtColor(working, grey, cv::COLOR_BGR2GRAY);
  cv::resize(grey, small, {cvRound(grey.cols / 1.3), cvRound(grey.rows / 1.3)}, 0, 0, cv::INTER_LINEAR);
  cv::equalizeHist(small, small);
  std::vector<cv::Rect> found;
  cascade.detectMultiScale(small, found, 1.1, 2, 0, {30, 30});
  SortFacesLeftToRight(found);
  std::vector<FaceBox> boxes;
  for (const cv::Rect& r : found) boxes.push_back(ScaleDetectedFace(r));
  return boxes;
}

struct DetectorUnderTest {
  CapturedStream timing, errors;
  FaceDetector detector{BuiltCascade()};
  DetectorUnderTest() {
    detector.SetLog({timing.File(), errors.File()});
    EXPECT_EQ(detector.LoadCascade(), 0) << errors.Text();
  }
};

int Lines(const std::string& text, const std::string& start) {
  int n = 0;
  for (std::size_t at = 0; (at = text.find(start, at)) != std::string::npos; ++at) ++n;
  return n;
}

TEST(FaceWorkingImage, FitsThe800By600Box) {
  const struct {
    cv::Size source, working;
  } cases[] = {{{400, 300}, {800, 600}}, {{1600, 1200}, {800, 600}}, {{1000, 300}, {800, 240}},
               {{512, 512}, {600, 600}}, {{10000, 1}, {800, 1}}};
  for (const auto& c : cases) {
    EXPECT_EQ(FaceWorkingSize(c.source), c.working) << c.source;
    if (c.source.area() < 2000000) {
      EXPECT_EQ(MakeFaceWorkingImage(cv::Mat(c.source, CV_8UC3)).size(), c.working);
    }
  }
  EXPECT_TRUE(MakeFaceWorkingImage(cv::Mat()).empty());
}

TEST(FaceDetector, DefaultBoxAndScalingBack) {
  EXPECT_EQ(DefaultFaceBox(1000, 500), (FeatureQuad{{375, 75, 625, 75, 625, 325, 375, 325}}));
  EXPECT_EQ(DefaultFaceBox(300, 600), (FeatureQuad{{75, 165, 225, 165, 225, 315, 75, 315}}));
  EXPECT_EQ(ScaleDetectedFace({10, 20, 31, 31}), (FaceBox{13, 26, 40, 40}));
  EXPECT_EQ(ScaleDetectedFace({0, 1, 30, 100}), (FaceBox{0, 1, 39, 130}));
}

TEST(FaceDetector, HandsOutFacesInDetectorOrderThenStartsAgain) {
  DetectorUnderTest t;
  const cv::Mat head = AstronautHead();
  cv::Mat mirrored, brighter, three;
  cv::flip(head, mirrored, 1);
  head.convertTo(brighter, -1, 0.8, 30);
  cv::hconcat(std::vector<cv::Mat>{head, mirrored, brighter}, three);
  const cv::Mat working = MakeFaceWorkingImage(three);

  const std::vector<FaceBox> expected = ReferenceFaces(working);
  ASSERT_EQ(expected.size(), 3u);
  for (int round = 0; round < 2; ++round)
    for (std::size_t n = 0; n < 3; ++n) {
      int count = -1;
      EXPECT_EQ(t.detector.DetectNext(working, &count), expected[n]) << round << " " << n;
      EXPECT_EQ(count, 3);
    }
  // One line per call, the cached calls included.
  EXPECT_EQ(Lines(t.timing.Text(), "detection time = "), 6);
  EXPECT_NE(t.timing.Text().find("ms\n"), std::string::npos);

  // A reset in the middle starts with the first face again.
  t.detector.DetectNext(working);
  t.detector.ResetSearch();
  EXPECT_EQ(t.detector.DetectNext(working), expected[0]);
}

TEST(FaceDetector, TwoThreadsShareOneCycleOfFaces) {
  DetectorUnderTest t;
  const cv::Mat head = AstronautHead();
  cv::Mat mirrored, three;
  cv::flip(head, mirrored, 1);
  cv::hconcat(std::vector<cv::Mat>{head, mirrored, head}, three);
  const cv::Mat working = MakeFaceWorkingImage(three);
  const std::vector<FaceBox> expected = ReferenceFaces(working);
  ASSERT_EQ(expected.size(), 3u);
  // Twelve calls between them hand out four cycles: every face four times.
  std::vector<FaceBox> boxes[2];
  std::thread other([&] {
    for (int i = 0; i < 6; ++i) boxes[1].push_back(t.detector.DetectNext(working));
  });
  for (int i = 0; i < 6; ++i) boxes[0].push_back(t.detector.DetectNext(working));
  other.join();
  for (const FaceBox& face : expected) {
    int seen = 0;
    for (const auto& list : boxes) seen += static_cast<int>(std::count(list.begin(), list.end(), face));
    EXPECT_EQ(seen, 4);
  }
}

TEST(FaceDetector, FindsDarkAndLowContrastCopiesButNotSmallOrTurnedFaces) {
  DetectorUnderTest t;
  const cv::Mat photo = SamplePhoto("astronaut.png");
  cv::Mat dark, faint, turned, tiny;
  photo.convertTo(dark, -1, 0.25, 0);
  photo.convertTo(faint, -1, 0.2, 128 * 0.8);
  cv::rotate(photo, turned, cv::ROTATE_90_CLOCKWISE);
  cv::Mat small(600, 800, CV_8UC3, cv::Scalar::all(150));
  cv::resize(photo, tiny, {100, 100}, 0, 0, cv::INTER_AREA);
  tiny.copyTo(small(cv::Rect(350, 250, 100, 100)));

  const FaceBox original = t.detector.DetectNext(MakeFaceWorkingImage(photo));
  ASSERT_FALSE(original.IsZero());
  // The astronaut's face in the 600 x 600 working image.
  EXPECT_NEAR(original.x + original.width / 2, 263, 10);
  EXPECT_NEAR(original.y + original.height / 2, 134, 10);
  for (const cv::Mat* copy : {&dark, &faint}) {
    t.detector.ResetSearch();
    const FaceBox box = t.detector.DetectNext(MakeFaceWorkingImage(*copy));
    EXPECT_NEAR(box.x, original.x, 4);
    EXPECT_NEAR(box.y, original.y, 4);
    EXPECT_NEAR(box.width, original.width, 6);
  }
  for (const cv::Mat* none : {&turned, &small}) {
    t.detector.ResetSearch();
    const cv::Mat working = MakeFaceWorkingImage(*none);
    for (int call = 0; call < 3; ++call) {
      int count = -1;
      EXPECT_TRUE(t.detector.DetectNext(working, &count).IsZero());
      EXPECT_EQ(count, 0);
    }
  }
  EXPECT_EQ(Lines(t.timing.Text(), "detection time = "), 9);
}

TEST(FaceDetector, AMissingCascadeGivesTheErrorLinesAndNoFacesUntilItLoads) {
  const auto folder = test::FreshFolder("face-cascade");
  const auto path = folder / "cascade.xml";
  CapturedStream timing, errors;
  FaceDetector detector(path);
  detector.SetLog({timing.File(), errors.File()});
  const cv::Mat working = MakeFaceWorkingImage(SamplePhoto("astronaut.png"));

  EXPECT_EQ(detector.LoadCascade(), -1);
  EXPECT_EQ(errors.Text(),
            "ERROR: Could not load classifier cascade\n"
            "Usage: facedetect --cascade=\"<cascade_path>\" [filename|camera_index]\n");
  EXPECT_TRUE(detector.DetectNext(working).IsZero());
  EXPECT_EQ(timing.Text(), "");

  // Not a cascade, nor a regular file: refused the same way, nothing thrown.
  {
    cv::FileStorage other(path.string(), cv::FileStorage::WRITE);
    other << "x" << 1;
  }
  EXPECT_EQ(detector.LoadCascade(), -1);
  std::filesystem::remove(path);
  std::filesystem::create_directory(path);
  EXPECT_EQ(detector.LoadCascade(), -1);
  EXPECT_FALSE(detector.Loaded());

  // Each call tries again: once the file is there, faces are found.
  std::filesystem::remove(path);
  std::filesystem::copy_file(BuiltCascade(), path);
  EXPECT_EQ(detector.LoadCascade(), 0);
  EXPECT_EQ(detector.LoadCascade(), 0);
  EXPECT_FALSE(detector.DetectNext(working).IsZero());
}

}  // namespace
}  // namespace grinsnap
