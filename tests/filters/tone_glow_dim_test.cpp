#include <algorithm>
#include <ctime>
#include <memory>

#include <gtest/gtest.h>
#include <opencv2/core/utility.hpp>
#include <tinyxml2.h>

#include "core/registry.h"
#include "filters/filter_factory.h"
#include "filters/tone/dim.h"
#include "filters/tone/glow.h"
#include "platform/crt_random.h"
#include "test_support/test_support.h"

namespace grinsnap {
namespace {

// A filter made by name with an optional element and block, rendering at the
// source's size.
struct ToneFilter {
  tinyxml2::XMLDocument doc;
  std::unique_ptr<CImageFilter> filter;

  ToneFilter(const char* name, const char* xml, VariableBlock block) {
    if (xml) {
      EXPECT_EQ(doc.Parse(xml), tinyxml2::XML_SUCCESS);
    }
    filter = CreateFilterFromXml(name, xml ? doc.RootElement() : nullptr, {}, false, block);
  }

  cv::Mat Render(const cv::Mat& input) {
    filter->SetSources(std::span<const cv::Mat>(&input, 1));
    filter->PrepareOutput(nullptr);
    filter->Process();
    return filter->GetOutput()->clone();
  }
};

cv::Mat Noise(int width, int height, int seed) {
  cv::Mat img(height, width, CV_8UC3);
  cv::RNG(seed).fill(img, cv::RNG::UNIFORM, 0, 256);
  return img;
}

// One row of grey levels.
cv::Mat GreyRow(std::initializer_list<int> values) {
  cv::Mat img(1, static_cast<int>(values.size()), CV_8UC3);
  int x = 0;
  for (int v : values) img.at<cv::Vec3b>(0, x++) = cv::Vec3b::all(static_cast<uchar>(v));
  return img;
}

// A block with the glow's radius and factor, or the dim region.
struct Block {
  std::array<float, kVariableBlockSize> values = kDefaultVariableBlock;
  static Block Glow(float radius, float factor) {
    Block b;
    b.values[0] = radius;
    b.values[1] = factor;
    return b;
  }
  static Block Region(float x, float y, float width, float height) {
    Block b;
    b.values[kBlockRoiX] = x;
    b.values[kBlockRoiY] = y;
    b.values[kBlockRoiWidth] = width;
    b.values[kBlockRoiHeight] = height;
    return b;
  }
};

TEST(GlowFilter, LoadReadsTypeOnTheElementAndMakesNoOutput) {
  const struct {
    const char* xml;
    int type;
  } cases[] = {{nullptr, 0},
               {"<filter name=\"GlowFilter\" type=\"1\"><param type=\"0\"/></filter>", 1},
               {"<filter name=\"GlowFilter\"><param type=\"1\"/></filter>", 0},
               {"<filter name=\"GlowFilter\" type=\"bright\"/>", 0}};
  for (const auto& c : cases) {
    ToneFilter glow("GlowFilter", c.xml, nullptr);
    ASSERT_TRUE(glow.filter);
    EXPECT_EQ(dynamic_cast<const CF_Glow&>(*glow.filter).Type(), c.type) << (c.xml ? c.xml : "no element");
    EXPECT_EQ(glow.filter->GetOutput(), nullptr);
  }
  // With a source but no output yet, Process has nowhere to draw.
  ToneFilter glow("GlowFilter", nullptr, nullptr);
  const cv::Mat photo = Noise(8, 8, 1);
  glow.filter->SetSources(std::span<const cv::Mat>(&photo, 1));
  glow.filter->Process();
  EXPECT_EQ(glow.filter->GetOutput(), nullptr);
}

TEST(GlowFilter, ScatterBrightensPixelsWhoseNeighbourIsBright) {
  // Radius 0: the neighbour is the pixel itself. Left half 0, right half 200:
  // threshold 100 x factor.
  cv::Mat halves(2, 4, CV_8UC3, cv::Scalar::all(0));
  halves.colRange(2, 4).setTo(cv::Scalar::all(200));
  cv::Mat out;
  GlowScatterKernel(halves, out, 0, 1.0f, 99, nullptr);
  cv::Mat expected = halves.clone();
  expected.colRange(2, 4).setTo(cv::Scalar::all(250));
  EXPECT_EQ(cv::norm(out, expected, cv::NORM_INF), 0);
  GlowScatterKernel(halves, out, 0, 2.01f, 99, nullptr);
  EXPECT_EQ(cv::norm(out, halves, cv::NORM_INF), 0);

  // A flat picture reaches a threshold of factor 1 everywhere, whatever the
  // draws; the gain caps at 255.
  for (int v : {0, 100, 230}) {
    GlowScatterKernel(test::Flat(9, 5, cv::Vec3b::all(static_cast<uchar>(v))), out, 3, 1.0f, 5, nullptr);
    EXPECT_EQ(cv::norm(out, test::Flat(9, 5, cv::Vec3b::all(static_cast<uchar>(std::min(v + 50, 255)))),
                       cv::NORM_INF),
              0)
        << v;
  }
}

// The scattered glow in one sequential pass over the draws.
cv::Mat ReferenceScatter(const cv::Mat& src, int radius, float factor, std::uint32_t seed) {
  const float threshold = GlowThreshold(src, factor);
  CrtRandom random(seed);
  cv::Mat out = src.clone();
  for (int y = 0; y < src.rows; ++y)
    for (int x = 0; x < src.cols; ++x) {
      const int first = random.Next(), second = random.Next();
      // The whole coordinate is truncated toward zero, then clamped.
      const int ny = std::clamp(static_cast<int>(y + (2.0f * first / 32767.0f - 1.0f) * radius), 0, src.rows - 1);
      const int nx = std::clamp(static_cast<int>(x + (2.0f * second / 32767.0f - 1.0f) * radius), 0, src.cols - 1);
      const cv::Vec3b n = src.at<cv::Vec3b>(ny, nx);
      if (static_cast<float>((n[0] + n[1] + n[2]) / 3) >= threshold)
        for (int c = 0; c < 3; ++c) out.at<cv::Vec3b>(y, x)[c] = static_cast<uchar>(std::min(out.at<cv::Vec3b>(y, x)[c] + 50, 255));
    }
  return out;
}

TEST(GlowFilter, ScatterIsTheSequentialDrawOrderOnAnyThreadCount) {
  const cv::Mat photo = Noise(61, 47, 8);
  const int threads = cv::getNumThreads();
  for (int radius : {1, 4, -3, 200}) {
    const cv::Mat expected = ReferenceScatter(photo, radius, 0.9f, 1234567u);
    for (int n : {1, 2, 5}) {
      test::SetOpenCvThreads(n);
      cv::Mat out;
      GlowScatterKernel(photo, out, radius, 0.9f, 1234567u, nullptr);
      EXPECT_EQ(cv::norm(out, expected, cv::NORM_INF), 0) << "radius " << radius << " threads " << n;
    }
  }
  test::SetOpenCvThreads(threads);
}

TEST(GlowFilter, SeedDecidesThePicture) {
  const Block block = Block::Glow(5, 1.0f);
  ToneFilter glow("GlowFilter", nullptr, block.values);
  const cv::Mat photo = Noise(40, 30, 3);
  glow.filter->SetSeed(20261208);
  const cv::Mat first = glow.Render(photo);
  const cv::Mat again = glow.Render(photo);
  EXPECT_EQ(cv::norm(first, again, cv::NORM_INF), 0);
  glow.filter->SetSeed(20261209);
  EXPECT_GT(cv::norm(glow.Render(photo), first, cv::NORM_INF), 0);

  const auto before = static_cast<std::uint32_t>(std::time(nullptr));
  glow.filter->Reseed();
  EXPECT_GE(glow.filter->Seed(), before);
  EXPECT_LE(glow.filter->Seed(), before + 5);
}

TEST(GlowFilter, BoxGlowAgainstHandWorkedValues) {
  // The box of (x, y) covers columns x - r .. x + r - 1 and rows y - r .. y + r - 1.
  const struct {
    const char* label;
    cv::Mat input;
    int radius;
    float factor;
    cv::Mat expected;
  } cases[] = {
      // Threshold 40 x 1.375 = 55. Box means 0, 15, 60; only the last is on
      // the step: u = 0.5, w = 0.6875, z = 0.34375, 90 - z x 30 = 79.69.
      {"step", GreyRow({0, 30, 90}), 1, 1.375f, GreyRow({0, 30, 79})},
      // A radius past the picture: every box is the whole picture, mean 40,
      // well above the threshold 20: z = 1/2.
      {"whole", GreyRow({0, 30, 90}), 1000, 0.5f, GreyRow({20, 35, 65})},
      // The box reaches up and left: (0, 0) sees itself only, (1, 1) all four
      // (mean 100, threshold 60).
      {"up-left", (cv::Mat_<cv::Vec3b>(2, 2) << cv::Vec3b::all(0), cv::Vec3b::all(100), cv::Vec3b::all(100),
                   cv::Vec3b::all(200)),
       1, 0.6f,
       (cv::Mat_<cv::Vec3b>(2, 2) << cv::Vec3b::all(0), cv::Vec3b::all(100), cv::Vec3b::all(100),
        cv::Vec3b::all(150))},
      // A flat picture: the box mean is the pixel, whatever the mix.
      {"flat", test::Flat(5, 4, {77, 77, 77}), 2, 0.5f, test::Flat(5, 4, {77, 77, 77})},
      // A radius below 1 gives empty boxes: the picture is copied.
      {"empty box", GreyRow({0, 30, 90}), 0, 0.1f, GreyRow({0, 30, 90})},
      {"negative", GreyRow({0, 30, 90}), -4, 0.1f, GreyRow({0, 30, 90})},
  };
  for (const auto& c : cases) {
    cv::Mat out;
    ASSERT_TRUE(GlowBoxKernel(c.input, out, c.radius, c.factor, nullptr));
    EXPECT_EQ(cv::norm(out, c.expected, cv::NORM_INF), 0) << c.label << "\n" << out;
  }

  // Through the filter, with the type on its element and the block's values.
  const Block block = Block::Glow(1, 1.375f);
  ToneFilter glow("GlowFilter", "<filter type=\"1\"/>", block.values);
  EXPECT_EQ(cv::norm(glow.Render(GreyRow({0, 30, 90})), GreyRow({0, 30, 79}), cv::NORM_INF), 0);
}

TEST(GlowFilter, OtherTypesLeaveTheOutput) {
  ToneFilter glow("GlowFilter", "<filter type=\"2\"/>", nullptr);
  const cv::Mat out = glow.Render(Noise(12, 9, 4));
  EXPECT_EQ(out.size(), cv::Size(12, 9));
  EXPECT_EQ(cv::countNonZero(out.reshape(1)), 0);
}

// side x side, 255 where column + row is even, else 0.
cv::Mat Checkerboard(int side) {
  cv::Mat img(side, side, CV_8UC3);
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) img.at<cv::Vec3b>(y, x) = cv::Vec3b::all((x + y) % 2 ? 0 : 255);
  return img;
}

TEST(DimFilter, CentreStaysSharpCornersBlur) {
  const cv::Mat board = Checkerboard(200);
  const Block middle = Block::Region(0.25f, 0.25f, 0.5f, 0.5f);
  const Block whole = Block::Region(0, 0, 0, 0);
  const struct {
    const char* label;
    const float* block;
    int corner;  // mean of the corner box at (0, 0), whose pixel is 255
    int far;     // at (199, 199), also 255
  } cases[] = {
      // Spreads 2: at the corners k = 0.00707, half-size 1: a 2 x 2 box with
      // two bright pixels, 510 / 4 truncated.
      {"middle quarter", middle.values.data(), 127, 127},
      // No block: the template's default region, the same picture.
      {"no block", nullptr, 127, 127},
      // All zeros: centre 0.5, spreads 1; k = 0.01414, half-size 2: 3 x 3
      // boxes with five bright pixels, 1275 / 9 truncated.
      {"all zeros", whole.values.data(), 141, 141},
  };
  for (const auto& c : cases) {
    ToneFilter dim("DimFilter", nullptr, VariableBlock(c.block, kVariableBlockSize));
    const cv::Mat out = dim.Render(board);
    EXPECT_EQ(out.at<cv::Vec3b>(100, 100), board.at<cv::Vec3b>(100, 100)) << c.label;
    EXPECT_EQ(out.at<cv::Vec3b>(101, 100), board.at<cv::Vec3b>(101, 100)) << c.label;
    EXPECT_EQ(out.at<cv::Vec3b>(0, 0), cv::Vec3b::all(static_cast<uchar>(c.corner))) << c.label;
    EXPECT_EQ(out.at<cv::Vec3b>(199, 199), cv::Vec3b::all(static_cast<uchar>(c.far))) << c.label;
  }
}

TEST(DimFilter, RegionWithoutWidthBlursEverythingOffItsCentreLines) {
  // Region (0.3, 0.3) of no size on a 10 x 10 picture: row 3 and column 3
  // cross at the centre, which stays; off both lines a pixel takes the mean
  // of the whole picture.
  const cv::Mat photo = Noise(10, 10, 6);
  cv::Mat out;
  FocusRegion line{0.3f, 0.3f, 0, 0};
  ASSERT_TRUE(DimKernel(photo, out, line, nullptr));
  EXPECT_EQ(out.at<cv::Vec3b>(3, 3), photo.at<cv::Vec3b>(3, 3));
  const cv::Scalar sum = cv::sum(photo);
  const cv::Vec3b mean(static_cast<uchar>(sum[0] / 100), static_cast<uchar>(sum[1] / 100),
                       static_cast<uchar>(sum[2] / 100));
  EXPECT_EQ(out.at<cv::Vec3b>(0, 0), mean);
  EXPECT_EQ(out.at<cv::Vec3b>(3, 8), mean);
}

TEST(DimFilter, AbortStopsBeforeDrawingAndOutputSizeIsReported) {
  const Block middle = Block::Region(0.25f, 0.25f, 0.5f, 0.5f);
  ToneFilter dim("DimFilter", nullptr, middle.values);
  const cv::Mat photo = Noise(64, 48, 9);
  dim.filter->SetSources(std::span<const cv::Mat>(&photo, 1));
  const cv::Size box(32, 40);
  dim.filter->PrepareOutput(&box);
  cv::Size size;
  EXPECT_EQ(*dim.filter->GetOutputSize(&size), cv::Size(32, 24));

  dim.filter->Abort();
  EXPECT_TRUE(dim.filter->AbortRequested());
  dim.filter->Process();
  EXPECT_EQ(cv::countNonZero(dim.filter->GetOutput()->reshape(1)), 0);
  dim.filter->ClearAbort();
  dim.filter->Process();
  EXPECT_GT(cv::countNonZero(dim.filter->GetOutput()->reshape(1)), 0);

  std::atomic<bool> cancel{true};
  cv::Mat out;
  EXPECT_FALSE(DimKernel(photo, out, FocusRegion(), &cancel));
}

TEST(DimFilter, ThreadCountDoesNotMatter) {
  const cv::Mat photo = test::SamplePhoto("chelsea.png");
  cv::Mat single, parallel;
  const int threads = cv::getNumThreads();
  test::SetOpenCvThreads(1);
  DimKernel(photo, single, FocusRegion{0.1f, 0.2f, 0.3f, 0.2f}, nullptr);
  test::SetOpenCvThreads(std::max(threads, 4));
  DimKernel(photo, parallel, FocusRegion{0.1f, 0.2f, 0.3f, 0.2f}, nullptr);
  test::SetOpenCvThreads(threads);
  EXPECT_EQ(cv::norm(single, parallel, cv::NORM_INF), 0);
  EXPECT_GT(cv::norm(parallel, photo, cv::NORM_INF), 0);
}

}  // namespace
}  // namespace grinsnap
