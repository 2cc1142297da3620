#include <algorithm>
#include <cmath>
#include <memory>

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include "core/registry.h"
#include "filters/filter_factory.h"
#include "filters/tone/emboss.h"
#include "filters/tone/lomo.h"
#include "filters/tone/moon.h"
#include "test_support/test_support.h"

namespace grinsnap {
namespace {

// Runs a filter over one picture at its natural size.
cv::Mat Render(CImageFilter& filter, const cv::Mat& input) {
  filter.SetSources(std::span<const cv::Mat>(&input, 1));
  filter.PrepareOutput(nullptr);
  filter.Process();
  return filter.GetOutput()->clone();
}

// A picture of grey levels, one row per vector (B = G = R).
cv::Mat Greys(std::initializer_list<std::initializer_list<int>> rows) {
  cv::Mat img(static_cast<int>(rows.size()), static_cast<int>(rows.begin()->size()), CV_8UC3);
  int y = 0;
  for (const auto& row : rows) {
    int x = 0;
    for (int v : row) img.at<cv::Vec3b>(y, x++) = cv::Vec3b::all(static_cast<uchar>(v));
    ++y;
  }
  return img;
}

void ExpectSame(const cv::Mat& actual, const cv::Mat& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  EXPECT_EQ(cv::norm(actual, expected, cv::NORM_INF), 0) << "actual\n" << actual << "\nexpected\n" << expected;
}

cv::Mat RandomPicture(int width, int height, int seed) {
  cv::Mat img(height, width, CV_8UC3);
  cv::RNG(seed).fill(img, cv::RNG::UNIFORM, 0, 256);
  return img;
}

TEST(LomoFilter, LoadReadsTheFilterElementNotParam) {
  const struct {
    const char* xml;
    float blackness, intense;
  } cases[] = {
      {"<filter name=\"LomoFilter\" blackness=\"0.5\" intense=\"2\"><param blackness=\"9\" intense=\"9\"/></filter>",
       0.5f, 2.0f},
      {"<filter name=\"LomoFilter\"><param blackness=\"0.7\" intense=\"1\"/></filter>", 0.0f, 0.0f},
      {"<filter name=\"LomoFilter\" blackness=\"dark\" intense=\"1.25\"/>", 0.0f, 1.25f},
  };
  for (const auto& c : cases) {
    tinyxml2::XMLDocument doc;
    ASSERT_EQ(doc.Parse(c.xml), tinyxml2::XML_SUCCESS);
    auto filter = CreateFilterFromXml("LomoFilter", doc.RootElement(), {}, false, nullptr);
    ASSERT_TRUE(filter);
    const auto& lomo = dynamic_cast<const CF_Lomo&>(*filter);
    EXPECT_FLOAT_EQ(lomo.Blackness(), c.blackness) << c.xml;
    EXPECT_FLOAT_EQ(lomo.Intense(), c.intense) << c.xml;
    ASSERT_TRUE(filter->GetOutput());
    EXPECT_EQ(filter->GetOutput()->size(), cv::Size(800, 600));
  }
}

TEST(LomoFilter, BlacknessZeroLeavesThePictureUnchanged) {
  const cv::Mat photo = RandomPicture(37, 11, 3);
  cv::Mat out;
  for (float intense : {0.0f, 1.0f, 25.0f, -3.0f}) {
    ASSERT_TRUE(LomoKernel(photo, out, 0.0f, intense, nullptr));
    EXPECT_EQ(cv::norm(out, photo, cv::NORM_INF), 0) << intense;
  }
}

TEST(LomoFilter, TwoLevelPictureAgainstTheFormula) {
  // Grey 40 and grey 200: mean 120. A pixel below T = 120 x blackness loses
  // 255 x ((l - T) / T)^2 x intense.
  const cv::Mat photo = Greys({{40, 200}});
  const struct {
    float blackness, intense;
    int dark, bright;
  } cases[] = {
      {0.5f, 1.0f, 11, 200},    // T 60: 40 - 255 / 9 = 11.67
      {0.5f, 0.5f, 25, 200},    // 40 - 14.17
      {0.5f, -1.0f, 68, 200},   // a negative intensity brightens
      {1.0f, 1.0f, 0, 200},     // T 120: 40 - 113.3 clamps at 0
      {2.0f, 0.1f, 22, 199},    // T 240: both darken, 40 - 17.7 and 200 - 0.71
      {0.2f, 1.0f, 40, 200},    // T 24: nothing is darker
  };
  for (const auto& c : cases) {
    cv::Mat out;
    LomoKernel(photo, out, c.blackness, c.intense, nullptr);
    EXPECT_EQ(out.at<cv::Vec3b>(0, 0), cv::Vec3b::all(static_cast<uchar>(c.dark))) << c.blackness << " " << c.intense;
    EXPECT_EQ(out.at<cv::Vec3b>(0, 1), cv::Vec3b::all(static_cast<uchar>(c.bright))) << c.blackness << " " << c.intense;
  }
}

TEST(LomoFilter, MeanIsTruncatedAndChannelsShareOneDarkening) {
  // Sums 361 and 363: mean 120.67, truncated to 120. With blackness 1 the
  // first pixel (l = 120.33) is not darker than T = 120; an untruncated mean
  // would have taken it to 119.
  cv::Mat photo(1, 2, CV_8UC3);
  photo.at<cv::Vec3b>(0, 0) = {120, 120, 121};
  photo.at<cv::Vec3b>(0, 1) = {121, 121, 121};
  cv::Mat out;
  LomoKernel(photo, out, 1.0f, 1.0f, nullptr);
  EXPECT_EQ(cv::norm(out, photo, cv::NORM_INF), 0);

  // Every channel loses the same amount, from the pixel's brightness: mean
  // (90 + 30 + 0 + 3 x 200) / 6 = 120, T 60, l 40, D 28.33.
  photo.at<cv::Vec3b>(0, 0) = {90, 30, 0};
  photo.at<cv::Vec3b>(0, 1) = {200, 200, 200};
  LomoKernel(photo, out, 0.5f, 1.0f, nullptr);
  EXPECT_EQ(out.at<cv::Vec3b>(0, 0), cv::Vec3b(61, 1, 0));
}

TEST(LomoFilter, RendersThroughTheFilterWithItsAttributes) {
  tinyxml2::XMLDocument doc;
  ASSERT_EQ(doc.Parse("<filter name=\"LomoFilter\" blackness=\"0.5\" intense=\"1\"/>"), tinyxml2::XML_SUCCESS);
  auto filter = CreateFilterFromXml("LomoFilter", doc.RootElement(), {}, false, nullptr);
  const cv::Mat out = Render(*filter, Greys({{40, 200}, {200, 40}}));
  ExpectSame(out, Greys({{11, 200}, {200, 11}}));
}

// Emboss written out plainly: per channel, row and column in increasing
// order, in place, with coordinates clamped into the picture.
cv::Mat ReferenceEmboss(const cv::Mat& src, int a, int b) {
  cv::Mat img = src.clone();
  for (int c = 0; c < 3; ++c)
    for (int y = 0; y < img.rows; ++y)
      for (int x = 0; x < img.cols; ++x) {
        const int ys = static_cast<int>(std::clamp<long long>(0LL + y + a, 0, img.rows - 1));
        const int xs = static_cast<int>(std::clamp<long long>(0LL + x + a, 0, img.cols - 1));
        const int v = img.at<cv::Vec3b>(ys, xs)[c] - img.at<cv::Vec3b>(y, x)[c] + b;
        img.at<cv::Vec3b>(y, x)[c] = static_cast<uchar>(std::clamp(v, 0, 255));
      }
  return img;
}

TEST(EmbossFilter, FlatGreyGivesTheBias) {
  const struct {
    bool block;
    float offset, bias;
    int expected;
  } cases[] = {{false, 0, 0, 20}, {true, 5, 100, 100}, {true, 0, 37, 37}, {true, 3.9f, 20.7f, 20},
               {true, 3, 300, 255}, {true, 3, -5, 0}, {true, 1e12f, 44, 44}};
  for (const auto& c : cases) {
    auto filter = CreateFilterFromXml("EmbossFilter", nullptr, {}, false, nullptr);
    const auto block = test::BlockWith({c.offset, c.bias});
    if (c.block) filter->SetVariables(block);
    const cv::Mat out = Render(*filter, test::Flat(19, 7, {128, 128, 128}));
    EXPECT_EQ(cv::norm(out, test::Flat(19, 7, cv::Vec3b::all(static_cast<uchar>(c.expected))), cv::NORM_INF), 0)
        << c.offset << " " << c.bias;
  }
}

TEST(EmbossFilter, StepEdges) {
  // Columns 0-3 at 100, 4-7 at 200, default offset 3 and bias 20: only the
  // columns whose partner lies across the edge see it.
  auto filter = CreateFilterFromXml("EmbossFilter", nullptr, {}, false, nullptr);
  const cv::Mat vertical = Greys({{100, 100, 100, 100, 200, 200, 200, 200}, {100, 100, 100, 100, 200, 200, 200, 200}});
  ExpectSame(Render(*filter, vertical), Greys({{20, 120, 120, 120, 20, 20, 20, 20}, {20, 120, 120, 120, 20, 20, 20, 20}}));

  // Rows 0-1 at 50, rows 2-3 at 90, offset 1: row 1 reads row 2.
  cv::Mat horizontal = Greys({{50, 50, 50}, {50, 50, 50}, {90, 90, 90}, {90, 90, 90}});
  cv::Mat out;
  EmbossKernel(horizontal, out, 1, 20, nullptr);
  ExpectSame(out, Greys({{20, 20, 20}, {60, 60, 60}, {20, 20, 20}, {20, 20, 20}}));
}

TEST(EmbossFilter, NegativeOffsetReadsReplacedPixels) {
  // Row 0 reads itself one column back, already replaced:
  // 10-10+100 = 100, 100-50+100 = 150, 150-20+100 = 230, 230-100+100 = 230.
  // Row 1 reads the finished row 0 one column back (column 0 for x = 0).
  cv::Mat img = Greys({{10, 50, 20, 100}, {40, 40, 40, 40}});
  cv::Mat out;
  ASSERT_TRUE(EmbossKernel(img, out, -1, 100, nullptr));
  ExpectSame(out, Greys({{100, 150, 230, 230}, {160, 160, 210, 255}}));
}

TEST(EmbossFilter, MatchesTheInPlacePassForEveryOffset) {
  // Widths around the 16-byte vector step; offsets past either edge.
  for (int width : {1, 2, 5, 6, 17, 40}) {
    const cv::Mat src = RandomPicture(width, 9, width);
    for (int a : {-1000, -12, -5, -2, -1, 0, 1, 2, 3, 7, 39, 1 << 30}) {
      for (int b : {-300, 0, 20, 128, 600}) {
        cv::Mat out;
        ASSERT_TRUE(EmbossKernel(src, out, a, b, nullptr));
        ASSERT_EQ(cv::norm(out, ReferenceEmboss(src, a, b), cv::NORM_INF), 0)
            << "width " << width << " offset " << a << " bias " << b;
      }
    }
  }
}

TEST(EmbossFilter, SharedPixelsAndCancel) {
  // Run in place on one buffer: the result is that of a separate output.
  const cv::Mat src = RandomPicture(23, 8, 5);
  cv::Mat same = src.clone();
  EmbossKernel(same, same, 2, 30, nullptr);
  EXPECT_EQ(cv::norm(same, ReferenceEmboss(src, 2, 30), cv::NORM_INF), 0);

  std::atomic<bool> cancel{true};
  cv::Mat out;
  EXPECT_FALSE(EmbossKernel(src, out, 3, 20, &cancel));
  EXPECT_FALSE(EmbossKernel(src, out, -3, 20, &cancel));
}

TEST(MoonFilter, PlacementAlongTheTopEdge) {
  const struct {
    int width, height;
    float position, x, y, radius;
  } cases[] = {{100, 60, 0, 6, 6, 3}, {100, 60, 1, 94, 6, 3}, {100, 60, 0.5f, 50, 6, 3}, {40, 200, 1, 36, 4, 2}};
  for (const auto& c : cases) {
    const MoonPlacement moon = PlaceMoon(c.width, c.height, c.position);
    EXPECT_FLOAT_EQ(moon.x, c.x) << c.width << "x" << c.height << " at " << c.position;
    EXPECT_FLOAT_EQ(moon.y, c.y);
    EXPECT_FLOAT_EQ(moon.radius, c.radius);
  }
}

// The output of one pixel, from the formula in double precision.
cv::Vec3b ExpectedMoonPixel(cv::Vec3b bgr, double distanceFromCentre, double radius, double side) {
  const double b = bgr[0], g = bgr[1], r = bgr[2];
  const double tint[3] = {(150 * b + 110 * g + 100 * r) / 255, (75 * g + 70 * r) / 255, (55 * g + 50 * r) / 255};
  const double moon[3] = {255, 250, 245};
  const double d = distanceFromCentre - radius;
  double w = 1;
  if (d >= 0) {
    const double s = d / (side / 3);
    w = 0.8 * std::exp(-(s / 2) * (s / 2)) + 0.2 * std::exp(-(40 * s) * (40 * s));
  }
  cv::Vec3b out;
  for (int c = 0; c < 3; ++c) out[c] = static_cast<uchar>(std::clamp((1 - w) * tint[c] + w * moon[c], 0.0, 255.0));
  return out;
}

TEST(MoonFilter, DiscHaloAndNightTint) {
  // 100 x 100: radius 5, centre (10, 10) without a block, (90, 10) at 1.
  const cv::Vec3b colour(60, 120, 200);
  const cv::Mat photo = test::Flat(100, 100, colour);
  const cv::Vec3b moon(255, 250, 245);

  auto left = CreateFilterFromXml("MoonFilter", nullptr, {}, false, nullptr);
  const cv::Mat night = Render(*left, photo);
  EXPECT_EQ(night.at<cv::Vec3b>(10, 10), moon);
  EXPECT_EQ(night.at<cv::Vec3b>(10, 14), moon);  // inside the disc
  EXPECT_EQ(night.at<cv::Vec3b>(13, 13), moon);
  EXPECT_NE(night.at<cv::Vec3b>(10, 90), moon);
  // Far corner: 125.87 from the centre, halo weight 0.0299 on the tint
  // (165.49, 90.20, 65.10).
  EXPECT_EQ(night.at<cv::Vec3b>(99, 99), cv::Vec3b(168, 94, 70));
  const struct {
    int x, y;
  } pixels[] = {{16, 10}, {20, 10}, {10, 30}, {50, 50}, {0, 99}, {99, 0}, {15, 10}};
  for (const auto& p : pixels)
    EXPECT_EQ(night.at<cv::Vec3b>(p.y, p.x), ExpectedMoonPixel(colour, std::hypot(p.x - 10.0, p.y - 10.0), 5, 100))
        << p.x << "," << p.y;

  auto right = CreateFilterFromXml("MoonFilter", nullptr, {}, false, nullptr);
  const auto block = test::BlockWith({1});
  right->SetVariables(block);
  const cv::Mat atRight = Render(*right, photo);
  EXPECT_EQ(atRight.at<cv::Vec3b>(10, 90), moon);
  EXPECT_NE(atRight.at<cv::Vec3b>(10, 10), moon);
  EXPECT_EQ(atRight.at<cv::Vec3b>(99, 1), night.at<cv::Vec3b>(99, 99));  // mirrored about x = 50
}

TEST(MoonFilter, BrightTintClampsAt255) {
  // White tints to (360, 145, 105): blue clamps at 255 everywhere.
  cv::Mat out;
  MoonKernel(test::Flat(60, 60, {255, 255, 255}), out, 0.3f, nullptr);
  std::vector<cv::Mat> planes;
  cv::split(out, planes);
  EXPECT_EQ(cv::countNonZero(planes[0] != 255), 0);
  EXPECT_EQ(out.at<cv::Vec3b>(59, 59), ExpectedMoonPixel({255, 255, 255}, std::hypot(59 - 20.4, 59 - 6.0), 3, 60));
}

// Every filter of this set and of the glow and dim set: no source keeps the
// previous output, tiny pictures render.
TEST(ToneFiltersA, NoSourceKeepsTheOutputAndTinyPicturesRender) {
  const auto block = test::BlockWith({2, 10});
  for (const char* name : {"LomoFilter", "EmbossFilter", "MoonFilter", "DimFilter", "GlowFilter"}) {
    tinyxml2::XMLDocument doc;
    doc.Parse("<filter blackness=\"0.8\" intense=\"1\"/>");
    auto filter = CreateFilterFromXml(name, doc.RootElement(), {}, false, block);
    ASSERT_TRUE(filter) << name;
    const cv::Mat first = Render(*filter, RandomPicture(30, 20, 1));
    const cv::Mat none;
    filter->SetSources(std::span<const cv::Mat>(&none, 1));
    filter->Process();
    ASSERT_TRUE(filter->GetOutput()) << name;
    EXPECT_EQ(cv::norm(*filter->GetOutput(), first, cv::NORM_INF), 0) << name;

    for (cv::Size size : {cv::Size(1, 1), cv::Size(1, 7), cv::Size(9, 1), cv::Size(2, 2)}) {
      const cv::Mat out = Render(*filter, RandomPicture(size.width, size.height, 2));
      EXPECT_EQ(out.size(), size) << name;
    }
  }
}

}  // namespace
}  // namespace grinsnap
