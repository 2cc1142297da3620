#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <tinyxml2.h>

#include "core/render.h"
#include "filters/filter_factory.h"
#include "filters/multi/frame.h"
#include "test_support/test_support.h"

namespace grinsnap {
namespace {

TEST(FrameShader, TheFourBlendCases) {
  const cv::Vec3f p(200, 100, 50), g(100, 100, 100), g2(200, 0, 50), white(255, 255, 255);
  struct Case {
    const char* name;
    cv::Vec3f photo;
    const cv::Vec3f* second;
    bool blend;
    cv::Vec3f expected;
  } cases[] = {
      // Brightness 350 / 3 / 255 = 0.4575 picks between the two pictures.
      {"blend with background2", p, &g2, true, {145.752f, 54.248f, 77.124f}},
      // t = (0.4575 - 0.5) x 0.5 + 0.5 = 0.4788: darkens, G x 2t.
      {"blend, dark photo", p, nullptr, true, {95.752f, 95.752f, 95.752f}},
      // t = 0.75: lightens, 255 - (255 - G) x 2 (1 - t).
      {"blend, white photo", white, nullptr, true, {177.5f, 177.5f, 177.5f}},
      // w = (128 + 0.5 (P - 128)) / 255 per channel.
      {"photo weights background2", p, &g2, false, {164.314f, 55.294f, 82.549f}},
      {"plain opacity", p, nullptr, false, {150, 100, 75}},
  };
  for (const Case& c : cases) {
    const cv::Vec3f got = ShadeWindowPixel(c.photo, g, c.second, 0.5f, c.blend);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(got[k], c.expected[k], 0.01) << c.name << " channel " << k;
  }
}

TEST(FrameShader, SoftEdgeAndKeyColour) {
  struct Edge {
    float t, e, expected;
  } edges[] = {{0.5f, 0.1f, 1}, {0.1f, 0.1f, 1}, {0.05f, 0.1f, 0.5f}, {0, 0.1f, 0},
               {0.95f, 0.1f, 0.5f}, {0.9f, 0.1f, 0.5f + 0.5f}, {1, 0.1f, 0}, {0, 0, 1}, {1, 0, 1}};
  for (const Edge& e : edges) EXPECT_NEAR(EdgeWeight(e.t, e.e), e.expected, 1e-5) << e.t << " " << e.e;
  const KeyColour key{255, 0, 10};
  EXPECT_TRUE(MatchesKey({14, 4, 251}, key));
  EXPECT_FALSE(MatchesKey({15, 0, 255}, key));  // blue 15 is 5 away
  EXPECT_FALSE(MatchesKey({10, 0, 250}, key));  // red 250 is 5 away
}

TEST(FrameWindow, PhotoUprightInTheQuadAndOnlyWhereTheMaskShowsTheKey) {
  cv::Mat photo(10, 10, CV_8UC3, cv::Scalar(255, 255, 255));
  photo.rowRange(5, 10).setTo(cv::Scalar(0, 0, 0));
  const std::array<cv::Point2d, 4> left = {cv::Point2d(0, 0), {10, 0}, {0, 10}, {10, 10}};
  FramePictures pictures{test::Flat(20, 10, {100, 100, 100}), {}, {}, {20, 10}};

  cv::Mat out = pictures.background.clone();
  ASSERT_TRUE(DrawFrameWindow(photo, left, WindowShading{}, pictures, out, nullptr));
  EXPECT_EQ(out.at<cv::Vec3b>(1, 5), cv::Vec3b(255, 255, 255));  // the photo's top at the top
  EXPECT_EQ(out.at<cv::Vec3b>(8, 5), cv::Vec3b(0, 0, 0));
  EXPECT_EQ(out.at<cv::Vec3b>(1, 15), cv::Vec3b(100, 100, 100));  // outside the window

  // The mask paints the key (red) in columns 0 to 3 only.
  pictures.mask = cv::Mat(10, 20, CV_8UC3, cv::Scalar(0, 0, 0));
  pictures.mask.colRange(0, 4).setTo(cv::Scalar(0, 0, 255));
  WindowShading masked;
  masked.maskTest = true;
  masked.key = {255, 0, 0};
  out = pictures.background.clone();
  ASSERT_TRUE(DrawFrameWindow(photo, left, masked, pictures, out, nullptr));
  EXPECT_EQ(out.at<cv::Vec3b>(1, 3), cv::Vec3b(255, 255, 255));
  EXPECT_EQ(out.at<cv::Vec3b>(1, 4), cv::Vec3b(100, 100, 100));

  // Three corners on one line: nothing is drawn, nothing fails.
  out = pictures.background.clone();
  const std::array<cv::Point2d, 4> flat = {cv::Point2d(0, 0), {5, 0}, {10, 0}, {15, 0}};
  EXPECT_TRUE(DrawFrameWindow(photo, flat, WindowShading{}, pictures, out, nullptr));
  EXPECT_EQ(cv::norm(out, pictures.background, cv::NORM_INF), 0);
}

struct FrameUnderTest {
  tinyxml2::XMLDocument doc;
  std::unique_ptr<CImageFilter> filter;
  FrameBlock block;

  FrameUnderTest(const std::string& xml, const std::filesystem::path& folder) {
    EXPECT_EQ(doc.Parse(xml.c_str()), tinyxml2::XML_SUCCESS);
    filter = CreateFilterFromXml("FrameFilter", doc.RootElement(), folder, false, nullptr);
    block.mainQuad.corners = {100, 100, 300, 100, 100, 300, 300, 300};
    filter->SetFrameBlock(&block);
    filter->PublishLayout();
  }
  CF_Frame& Frame() { return dynamic_cast<CF_Frame&>(*filter); }
};

TEST(FrameFilter, CanvasWithoutBackgroundAndPreviewSizes) {
  FrameUnderTest f("<filter name=\"FrameFilter\"><param width=\"640\" height=\"480\"/></filter>", "/tmp");
  EXPECT_EQ(f.block.frameWidth, 640);
  EXPECT_EQ(f.block.frameHeight, 480);
  const cv::Mat photo = test::Flat(50, 50, {0, 0, 200});
  ASSERT_TRUE(Render(*f.filter, {.sources = std::span<const cv::Mat>(&photo, 1), .size = OutputSize::Natural()})
                  .IsFinished());
  const cv::Mat& out = *f.filter->GetOutput();
  EXPECT_EQ(out.size(), cv::Size(640, 480));
  EXPECT_EQ(out.at<cv::Vec3b>(50, 50), cv::Vec3b(128, 128, 128));
  EXPECT_EQ(out.at<cv::Vec3b>(200, 200), cv::Vec3b(0, 0, 200));

  // A smaller box scales the composition down, a larger one up.
  for (const auto& [box, expected] : {std::pair{cv::Size(320, 320), cv::Size(320, 240)},
                                      std::pair{cv::Size(1280, 2000), cv::Size(1280, 960)}}) {
    f.filter->PrepareOutput(&box);
    EXPECT_EQ(f.filter->GetOutput()->size(), expected);
  }
}

TEST(FrameFilter, HitTestingByMaskColourOrByOutline) {
  const std::filesystem::path folder = test::FreshFolder("frame_hit");
  cv::Mat mask(80, 100, CV_8UC3, cv::Scalar(0, 0, 0));
  mask(cv::Rect(0, 0, 50, 60)).setTo(cv::Scalar(0, 0, 255));   // red: the main window
  mask(cv::Rect(50, 0, 50, 60)).setTo(cv::Scalar(0, 255, 0));  // green: the extra one
  ASSERT_TRUE(cv::imwrite((folder / "mask.png").string(), mask));
  ASSERT_TRUE(cv::imwrite((folder / "frame.png").string(), test::Flat(100, 80, {90, 90, 90})));
  FrameUnderTest f("<filter name=\"FrameFilter\"><param background=\"frame.png\" mask=\"mask.png\"/></filter>",
                   folder);
  ASSERT_FALSE(f.Frame().Mask().empty());
  f.block.extraCount = 1;
  f.block.extraQuads = {FrameQuad{{60, 10, 90, 10, 60, 50, 90, 50}}};
  f.block.mainQuad.corners = {10, 10, 40, 10, 10, 50, 40, 50};
  f.block.extraMaskColors = {{0, 255, 0}};
  f.block.maskColor = {255, 0, 0};
  struct Case {
    bool keyed;
    int x, y, window;
  } cases[] = {{true, 5, 5, 0},    {true, 95, 5, 1},   {true, 50, 70, -1},  {true, 200, 5, -1},
               {false, 20, 20, 0}, {false, 70, 30, 1}, {false, 5, 5, -1}};
  for (const Case& c : cases) {
    f.block.hasMaskColor = c.keyed;
    f.block.dropInProgress = true;
    f.block.dropX = c.x;
    f.block.dropY = c.y;
    f.filter->PublishLayout();
    EXPECT_EQ(f.block.selectedWindow, c.window) << c.x << "," << c.y << (c.keyed ? " by colour" : " by outline");
  }
  EXPECT_EQ(f.block.frameWidth, 100);
}

}  // namespace
}  // namespace grinsnap
