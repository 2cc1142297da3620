#include <gtest/gtest.h>
#include <opencv2/core/utility.hpp>
#include <tinyxml2.h>

#include "core/registry.h"
#include "filters/filter_factory.h"
#include "filters/tone/color.h"
#include "test_support/test_support.h"

namespace grinsnap {
namespace {

// A colour filter made from its element text.
struct ColorUnderTest {
  tinyxml2::XMLDocument doc;
  std::unique_ptr<CImageFilter> filter;

  explicit ColorUnderTest(const char* xml) {
    EXPECT_EQ(doc.Parse(xml), tinyxml2::XML_SUCCESS);
    filter = CreateFilterFromXml("ColorFilter", doc.RootElement(), "/tmp", false, nullptr);
  }
  CF_Color& Color() { return dynamic_cast<CF_Color&>(*filter); }

  cv::Mat Render(const cv::Mat& input) {
    filter->SetSources(std::span<const cv::Mat>(&input, 1));
    filter->PrepareOutput(nullptr);
    filter->Process();
    return filter->GetOutput()->clone();
  }
};

// A one-row picture holding every grey level 0..255.
cv::Mat GreyRamp() {
  cv::Mat ramp(1, 256, CV_8UC3);
  for (int i = 0; i < 256; ++i) ramp.at<cv::Vec3b>(0, i) = cv::Vec3b::all(static_cast<uchar>(i));
  return ramp;
}

TEST(ColorFilter, WithoutChildrenOnlyTheKneesAct) {
  ColorUnderTest c("<filter name=\"ColorFilter\"/>");
  cv::Mat out = c.Render(GreyRamp());
  for (int i = 20; i <= 225; ++i) EXPECT_EQ(out.at<cv::Vec3b>(0, i)[0], i) << i;
  EXPECT_EQ(out.at<cv::Vec3b>(0, 255), cv::Vec3b::all(247));
  EXPECT_EQ(out.at<cv::Vec3b>(0, 0), cv::Vec3b::all(5));
  // 10 lies on the lower knee: t = (10 + 20) * 0.5 / 20 = 0.75, 20 * 0.5625 = 11.25.
  EXPECT_EQ(out.at<cv::Vec3b>(0, 10)[0], 11);
  // 240 on the upper knee: t = (240 - 285) * 0.5 / 30 = -0.75, 255 - 30 * 0.5625 = 238.125.
  EXPECT_EQ(out.at<cv::Vec3b>(0, 240)[0], 238);
  // The curve never falls as the input rises.
  for (int i = 1; i < 256; ++i) EXPECT_LE(out.at<cv::Vec3b>(0, i - 1)[0], out.at<cv::Vec3b>(0, i)[0]) << i;
}

TEST(ColorFilter, KneesJoinWithoutAJump) {
  const SoftClip clip;
  const struct {
    float in, out;
  } points[] = {{225, 225}, {285, 255}, {20, 20}, {-20, 0}, {300, 255}, {-50, 0}, {100, 100}};
  for (const auto& p : points) EXPECT_NEAR(clip.Apply(p.in), p.out, 1e-4) << p.in;
  EXPECT_NEAR(clip.Apply(225.001f), 225.001f, 1e-3);
  EXPECT_NEAR(clip.Apply(19.999f), 19.999f, 1e-3);
  // A knee of no width clips hard instead of dividing by zero.
  SoftClip hard{200, 50, 0, 0};
  EXPECT_FLOAT_EQ(hard.Apply(230), 200);
  EXPECT_FLOAT_EQ(hard.Apply(10), 50);
  EXPECT_FLOAT_EQ(hard.Apply(200), 200);
  EXPECT_FLOAT_EQ(hard.Apply(120), 120);
}

TEST(ColorFilter, MatricesComposeInDocumentOrder) {
  // A swap of red and blue, then the identity with 10 added to red.
  ColorUnderTest c(
      "<filter name=\"ColorFilter\">"
      "<mat><r b=\"1\"/><g g=\"1\"/><b r=\"1\"/></mat>"
      "<mat><r r=\"1\"/><g g=\"1\"/><b b=\"1\"/><c r=\"10\"/></mat>"
      "</filter>");
  cv::Mat photo = test::Flat(3, 2, {40, 100, 180});  // B, G, R
  cv::Mat out = c.Render(photo);
  EXPECT_EQ(out.at<cv::Vec3b>(1, 2), cv::Vec3b(180, 100, 50));

  // The other order moves the offset through the swap: it lands on blue.
  ColorUnderTest reversed(
      "<filter name=\"ColorFilter\">"
      "<mat><r r=\"1\"/><g g=\"1\"/><b b=\"1\"/><c r=\"10\"/></mat>"
      "<mat><r b=\"1\"/><g g=\"1\"/><b r=\"1\"/></mat>"
      "</filter>");
  EXPECT_EQ(reversed.Render(photo).at<cv::Vec3b>(0, 0), cv::Vec3b(190, 100, 40));
  EXPECT_FLOAT_EQ(reversed.Color().Transform().offset[2], 10);
}

TEST(ColorFilter, MissingRowsAndAttributesReadAsZero) {
  // Only the green row is given: green feeds grey into all three outputs; red and blue feed nothing.
  ColorUnderTest c(
      "<filter name=\"ColorFilter\"><mat><g r=\"0.5\" g=\"0.5\" b=\"0.5\"/><c g=\"abc\" b=\"30\"/></mat>"
      "<param upper=\"250\" uedge=\"x\"/></filter>");
  const CF_Color& color = c.Color();
  EXPECT_FLOAT_EQ(color.Transform().matrix[0][0], 0);
  EXPECT_FLOAT_EQ(color.Transform().matrix[1][2], 0.5f);
  EXPECT_FLOAT_EQ(color.Transform().offset[1], 0);
  EXPECT_FLOAT_EQ(color.Transform().offset[2], 30);
  EXPECT_FLOAT_EQ(color.Clip().upper, 250);
  EXPECT_FLOAT_EQ(color.Clip().upperEdge, 30);  // unreadable: default kept
  EXPECT_FLOAT_EQ(color.Clip().lowerEdge, 20);
  cv::Mat out = c.Render(test::Flat(2, 2, {200, 120, 10}));
  // Red = 0.5 * 120 = 60, green 60, blue 60 + 30 = 90.
  EXPECT_EQ(out.at<cv::Vec3b>(0, 0), cv::Vec3b(90, 60, 60));
}

TEST(ColorFilter, ClipLevelsFromParam) {
  ColorUnderTest c(
      "<filter name=\"ColorFilter\"><param upper=\"200\" lower=\"50\" uedge=\"10\" ledge=\"5\"/></filter>");
  cv::Mat out = c.Render(GreyRamp());
  EXPECT_EQ(out.at<cv::Vec3b>(0, 255)[0], 200);
  EXPECT_EQ(out.at<cv::Vec3b>(0, 190)[0], 190);
  EXPECT_EQ(out.at<cv::Vec3b>(0, 0)[0], 50);
  EXPECT_EQ(out.at<cv::Vec3b>(0, 55)[0], 55);
  // 200: t = (200 - 210) * 0.5 / 10 = -0.5, 200 - 10 * 0.25 = 197.5.
  EXPECT_EQ(out.at<cv::Vec3b>(0, 200)[0], 197);
}

TEST(ColorFilter, BackgroundAboveAThousandPixelsAndAbortStops) {
  ColorUnderTest c("<filter name=\"ColorFilter\"/>");
  CF_Color empty;
  EXPECT_FALSE(empty.RunsInBackground());  // no output yet
  cv::Mat photo = test::Flat(1001, 10, {1, 2, 3});
  c.filter->SetSources(std::span<const cv::Mat>(&photo, 1));
  c.filter->PrepareOutput(nullptr);
  EXPECT_TRUE(c.filter->RunsInBackground());
  cv::Size box(1000, 1000);
  c.filter->PrepareOutput(&box);
  EXPECT_FALSE(c.filter->RunsInBackground());

  // The kernel stops after the row during which cancel was set: a flag set
  // before it starts leaves at most the first row of each parallel stripe.
  cv::Mat src = test::Flat(64, 64, {100, 100, 100});
  cv::Mat dst(64, 64, CV_8UC3, cv::Scalar::all(0));
  std::atomic<bool> cancel{true};
  EXPECT_FALSE(ColorKernel(src, dst, ColorTransform(), SoftClip(), &cancel));
  EXPECT_LT(cv::countNonZero(dst.reshape(1)), 64 * 64 * 3);
  cancel = false;
  EXPECT_TRUE(ColorKernel(src, dst, ColorTransform(), SoftClip(), &cancel));
  EXPECT_EQ(cv::countNonZero(dst.reshape(1)), 64 * 64 * 3);
}

// The per-pixel formula, written out plainly.
cv::Vec3b ReferencePixel(cv::Vec3b bgr, const ColorTransform& t, const SoftClip& clip) {
  const float v[3] = {float(bgr[2]), float(bgr[1]), float(bgr[0])};
  cv::Vec3b out;
  for (int j = 0; j < 3; ++j) {
    float w = v[0] * t.matrix[0][j] + v[1] * t.matrix[1][j] + v[2] * t.matrix[2][j] + t.offset[j];
    out[2 - j] = static_cast<uchar>(static_cast<int>(clip.Apply(w)));
  }
  return out;
}

TEST(ColorFilter, KernelMatchesTheFormulaOnEveryPixel) {
  // Widths around the 16-pixel vector step, clip levels inside and outside 0..255.
  ColorTransform sepia;
  const float m[3][3] = {{0.393f, 0.349f, 0.272f}, {0.769f, 0.686f, 0.534f}, {0.189f, 0.168f, 0.131f}};
  std::copy(&m[0][0], &m[0][0] + 9, &sepia.matrix[0][0]);
  sepia.offset[0] = -7.5f;
  const SoftClip clips[] = {SoftClip(), {200, 50, 10, 5}, {255, 0, 1, 1}, {300, -20, 30, 20}};
  cv::RNG rng(7);
  for (int width : {1, 15, 16, 17, 33, 64}) {
    cv::Mat src(5, width, CV_8UC3);
    rng.fill(src, cv::RNG::UNIFORM, 0, 256);
    for (const SoftClip& clip : clips) {
      cv::Mat dst(src.size(), CV_8UC3);
      ColorKernel(src, dst, sepia, clip, nullptr);
      for (int y = 0; y < src.rows; ++y)
        for (int x = 0; x < width; ++x)
          ASSERT_EQ(dst.at<cv::Vec3b>(y, x), ReferencePixel(src.at<cv::Vec3b>(y, x), sepia, clip))
              << "width " << width << " upper " << clip.upper << " at " << x << "," << y;
    }
  }
}

TEST(ColorFilter, NoSourceLeavesTheOutputAndThreadsDoNotMatter) {
  ColorUnderTest c("<filter name=\"ColorFilter\"><mat><r r=\"0.9\" g=\"0.2\"/><g g=\"1.1\"/><b b=\"0.7\" r=\"0.3\"/>"
                   "<c r=\"-12\" g=\"7\"/></mat></filter>");
  c.filter->Process();
  EXPECT_EQ(cv::countNonZero(c.filter->GetOutput()->reshape(1)), 0);

  cv::Mat photo = test::SamplePhoto("coffee.png");
  const int threads = cv::getNumThreads();
  test::SetOpenCvThreads(1);
  cv::Mat single = c.Render(photo);
  test::SetOpenCvThreads(threads);
  cv::Mat parallel = c.Render(photo);
  EXPECT_EQ(cv::norm(single, parallel, cv::NORM_INF), 0);
}

}  // namespace
}  // namespace grinsnap
