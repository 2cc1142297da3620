#include <cmath>
#include <complex>
#include <numbers>

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include "core/sampler.h"
#include "filters/colour_circle.h"
#include "filters/filter_factory.h"
#include "filters/warp/grid.h"
#include "filters/warp/inversion.h"
#include "filters/warp/mosaic.h"
#include "filters/warp/noise_field.h"
#include "filters/warp/perlin_tex.h"
#include "filters/warp/punch.h"
#include "filters/warp/rain.h"
#include "filters/warp/rainbow.h"
#include "filters/warp/sine.h"
#include "filters/warp/snow.h"
#include "filters/warp/wave.h"
#include "test_support/test_support.h"

namespace grinsnap {
namespace {

constexpr double kPi = std::numbers::pi;

cv::Mat Gradient(int width, int height) {
  cv::Mat img(height, width, CV_8UC3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) img.at<cv::Vec3b>(y, x) = cv::Vec3b(uchar(x * 7), uchar(y * 5), uchar(x * y));
  return img;
}

bool Same(const cv::Mat& a, const cv::Mat& b) { return a.size() == b.size() && cv::norm(a, b, cv::NORM_INF) == 0; }

TEST(ConformalWarps, PositionsFollowTheComplexMaps) {
  // On an 8 x 8 picture with k = 2, pixel (x, y) is z = (x / 2 - 2) + i (y / 2 - 2).
  struct Case {
    int x, y;
    double inversionU, inversionV;  // 1 / z mapped to the texture
    double re, im;                  // arcsin z
  } cases[] = {
      {4, 4, 0.5, 0.5, 0, 0},  // the centre: w = 0
      {7, 4, (1 / 1.5 + 1) / 2, 0.5, kPi / 2, -std::acosh(1.5)},
      {1, 4, (-1 / 1.5 + 1) / 2, 0.5, -kPi / 2, std::acosh(1.5)},
      {4, 6, 0.5, 0.0, 0, std::asinh(1.0)},
      {5, 2, 0, 0, std::asin(std::complex<double>(0.5, -1)).real(), std::asin(std::complex<double>(0.5, -1)).imag()},
      {2, 7, 0, 0, std::asin(std::complex<double>(-1, 1.5)).real(), std::asin(std::complex<double>(-1, 1.5)).imag()},
      {7, 7, 0, 0, std::asin(std::complex<double>(1.5, 1.5)).real(), std::asin(std::complex<double>(1.5, 1.5)).imag()},
      {0, 1, 0, 0, std::asin(std::complex<double>(-2, -1.5)).real(), std::asin(std::complex<double>(-2, -1.5)).imag()},
  };
  const float s = 1.5f;
  for (const Case& c : cases) {
    const cv::Point2f arc = ArcsinePosition(c.x, c.y, 8, 8, 2, s);
    EXPECT_NEAR(arc.x, s * (2 * c.re / kPi + 1) / 2, 1e-5) << c.x << "," << c.y;
    EXPECT_NEAR(arc.y, s * (2 * c.im / kPi + 1) / 2, 1e-5) << c.x << "," << c.y;
    if (c.inversionU == 0) continue;
    const cv::Point2f inv = InversionPosition(c.x, c.y, 8, 8, 2);
    EXPECT_NEAR(inv.x, c.inversionU, 1e-6) << c.x << "," << c.y;
    EXPECT_NEAR(inv.y, c.inversionV, 1e-6) << c.x << "," << c.y;
  }
  // The arcsine kernel draws its mirrored quarters where the map says, on
  // odd and even sizes.
  for (const cv::Size size : {cv::Size(9, 7), cv::Size(8, 6)}) {
    const cv::Mat src = Gradient(size.width, size.height);
    cv::Mat dst;
    ASSERT_TRUE(SineKernel(src, dst, 2.5f, 1.5f, nullptr));
    for (int y = 0; y < size.height; ++y)
      for (int x = 0; x < size.width; ++x) {
        const cv::Point2f p = ArcsinePosition(x, y, size.width, size.height, 2.5f, 1.5f);
        const cv::Vec3f value = SampleImage(src, p.x, p.y, {.border = SampleBorder::Tile});
        for (int ch = 0; ch < 3; ++ch) ASSERT_EQ(dst.at<cv::Vec3b>(y, x)[ch], int(value[ch])) << size << x << "," << y;
      }
  }
  // The centre pixel of the warped picture is the photo's middle.
  const cv::Mat src = Gradient(40, 30);
  cv::Mat dst;
  ASSERT_TRUE(InversionKernel(src, dst, 3, nullptr));
  const cv::Vec3f middle = SampleImage(src, 0.5f, 0.5f, {.border = SampleBorder::Tile});
  for (int ch = 0; ch < 3; ++ch) EXPECT_EQ(dst.at<cv::Vec3b>(15, 20)[ch], static_cast<int>(middle[ch]));
}

TEST(Punch, PowerOneIsTheIdentityAndTheBulgeStaysInItsDisc) {
  const cv::Mat src = test::SamplePhoto("coffee.png");
  for (const cv::Point2f centre : {cv::Point2f(0.5f, 0.5f), cv::Point2f(0.31f, 0.77f), cv::Point2f(0.9f, 0.05f)}) {
    cv::Mat dst;
    ASSERT_TRUE(PunchKernel(src, dst, 1.0f, 1.0f, centre.x * src.cols, centre.y * src.rows, nullptr));
    EXPECT_TRUE(Same(dst, src)) << centre;
  }
  cv::Mat bulge;
  const float cx = 0.5f * src.cols, cy = 0.5f * src.rows;
  PunchKernel(src, bulge, 0.25f, 2.0f, cx, cy, nullptr);
  const float radius = 0.25f * std::sqrt(float(src.cols * src.cols + src.rows * src.rows)) / 2;
  const cv::Mat changed = bulge != src;
  for (int y = 0; y < src.rows; y += 3)
    for (int x = 0; x < src.cols; x += 3)
      if (std::hypot(x + 0.5f - cx, y + 0.5f - cy) >= radius) {
        ASSERT_EQ(changed.at<cv::Vec3b>(y, x), cv::Vec3b(0, 0, 0));
      }
  EXPECT_GT(cv::countNonZero(changed.reshape(1)), 1000);
}

TEST(Wave, WithoutAmplitudeOnlyTheLightIsApplied) {
  // A flat surface: the normal is (0, 0, 1), nothing moves, the diffuse
  // term is Lz and the specular term 100 Lz^100.
  const float lz = 1 / std::sqrt(1.125f);
  const float specular = float(100 * std::pow(double(lz), 100.0));
  const cv::Mat src = Gradient(30, 20);
  cv::Mat dst;
  ASSERT_TRUE(WaveKernel(src, dst, 0.146f, 0.0f, 0.75f, nullptr));
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x)
      for (int ch = 0; ch < 3; ++ch)
        ASSERT_EQ(dst.at<cv::Vec3b>(y, x)[ch], std::min(255, int(specular + lz * src.at<cv::Vec3b>(y, x)[ch])));
}

TEST(Snow, NoFlakesLeavesThePhotoAndOneFlakeIsAWhiteDisc) {
  const cv::Mat photo = Gradient(60, 40);
  cv::Mat dst;
  CrtRandom random(7);
  ASSERT_TRUE(SnowKernel(photo, dst, {0, 0, 0}, random, nullptr));
  EXPECT_TRUE(Same(dst, photo));
  EXPECT_EQ(random.State(), 7u) << "no numbers drawn";

  // 767 x 767 gives flakes of radius 25; the spread 1 / sqrt 5 leaves
  // exp(-5) of white at the rim and nothing beyond it.
  const cv::Mat black = test::Flat(767, 767, {0, 0, 0});
  CrtRandom first(11), again(11);
  ASSERT_TRUE(SnowKernel(black, dst, {1, 0, 0}, first, nullptr));
  const SnowFlake flake = DrawSnowFlakes(again, {1, 0, 0}, black.size()).front();
  const auto at = [&](int dx) { return dst.at<cv::Vec3b>(flake.y, flake.x + dx)[1]; };
  EXPECT_EQ(at(0), 255);
  EXPECT_EQ(at(25), int(255 - 255 * (1 - std::exp(-5.0f))));
  EXPECT_EQ(at(26), 0);
}

TEST(Rain, EqualBoundsGiveEveryDropTwiceItsHalfLengthInPoints) {
  // On black, a point lit m times reads 23, 44, 63, ... (255 - (255 - c) / 1.1).
  std::vector<int> level = {0};
  while (level.size() < 10) level.push_back(int(255 - (255 - level.back()) / 1.1f));
  for (float half : {3.0f, 8.0f}) {
    for (std::uint32_t seed = 1;; ++seed) {
      CrtRandom probe(seed);
      const int x0 = int(probe.Next() / 32768.0f * 100), y0 = int(probe.Next() / 32768.0f * 100);
      if (x0 < 3 || x0 > 96 || y0 < 10 || y0 > 89) continue;  // the whole streak inside
      cv::Mat dst;
      CrtRandom random(seed);
      ASSERT_TRUE(RainKernel(test::Flat(100, 100, {0, 0, 0}), dst, half, half, 1, random, nullptr));
      int points = 0;
      for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) {
          const int v = dst.at<cv::Vec3b>(y, x)[0];
          const auto m = std::find(level.begin(), level.end(), v);
          ASSERT_NE(m, level.end()) << v;
          points += int(m - level.begin());
        }
      EXPECT_EQ(points, 2 * int(half)) << half;
      break;
    }
  }
}

TEST(Rainbow, ShortArchesDrawNothingAndTheBandCentreIsPureColour) {
  const cv::Mat photo = Gradient(200, 150);
  cv::Mat dst;
  // 9 pixels of arch on a 200-pixel picture: no segment.
  ASSERT_TRUE(RainbowKernel(photo, dst, 0.16f, 9.0f / 200, 1, nullptr));
  EXPECT_TRUE(Same(dst, photo));
  EXPECT_TRUE(RainbowArch(200, 150, 0.16f, 9.0f / 200, 1).empty());

  ASSERT_TRUE(RainbowKernel(photo, dst, 0.5f, 1, 1, nullptr));
  // At the top of the arch the band runs level: across it v grows from 0 on
  // its outer edge (20 pixels above the inner one) to 1, and u is 0.5.
  const float outer = (0.9f * 0.5f + 0.05f) * 150 - 10;
  const int row = 75;
  const float v = (row + 0.5f - outer) / 20, g = std::exp(-4 * (2 * v - 1) * (2 * v - 1));
  const cv::Vec3f hue = SampleImage(ColourCircleRow(800), 1.3f * v, 0, {.border = SampleBorder::Tile});
  for (int ch = 0; ch < 3; ++ch)
    EXPECT_NEAR(dst.at<cv::Vec3b>(row, 100)[ch], g * hue[ch] + (1 - g) * photo.at<cv::Vec3b>(row, 100)[ch], 2) << ch;
  EXPECT_EQ(dst.at<cv::Vec3b>(149, 100), photo.at<cv::Vec3b>(149, 100)) << "below the arch";
}

TEST(Mosaic, RegionsCellsAndMeans) {
  struct Case {
    const char* what;
    float f, x, y, w, h;
    cv::Rect region;
    int cell;
  } cases[] = {
      {"the template's box", 0.1f, 0.25f, 0.25f, 0.5f, 0.5f, {25, 20, 50, 40}, 4},
      {"a box past the edge is clipped", 0.5f, 0.8f, 0.5f, 0.5f, 0.5f, {80, 40, 20, 40}, 20},
      {"a negative entry means the whole picture", 0.1f, -1, 0, 0, 0, {0, 0, 100, 80}, 8},
      {"a tiny fraction still makes cells of one pixel", 0.001f, 0, 0, 1, 1, {0, 0, 100, 80}, 1},
      {"no fraction, no cells", 0, 0, 0, 1, 1, {0, 0, 100, 80}, 0},
  };
  for (const Case& c : cases) {
    const MosaicArea area = MosaicAreaFor({100, 80}, c.f, c.x, c.y, c.w, c.h);
    EXPECT_EQ(area.region, c.region) << c.what;
    EXPECT_EQ(area.cell, c.cell) << c.what;
  }
  // Cells lie on multiples of the cell size across and start at the
  // region's top row down; each holds its mean.
  cv::Mat img = Gradient(20, 10), original = img.clone();
  ASSERT_TRUE(MosaicKernel(img, {3, 2, 10, 5}, 4, nullptr));
  const cv::Mat cell = original(cv::Rect(4, 2, 4, 4));
  const cv::Scalar mean = cv::sum(cell) / 16.0;
  EXPECT_EQ(img.at<cv::Vec3b>(5, 6), cv::Vec3b(uchar(mean[0]), uchar(mean[1]), uchar(mean[2])));
  EXPECT_EQ(img.at<cv::Vec3b>(2, 3), img.at<cv::Vec3b>(5, 3)) << "the clipped first column";
  EXPECT_EQ(img.at<cv::Vec3b>(1, 5), original.at<cv::Vec3b>(1, 5)) << "outside the region";
}

TEST(Grid, ReliefRowsAndColumns) {
  const cv::Mat relief = GridRelief({7, 6}, 5, 3);
  const float expected[6][7] = {
      {0, 0, -3, 0, 3, 0, 0}, {0, 0, -3, 0, 3, 0, 0}, {-3, -3, -3, -3, -3, -3, -3},
      {0, 0, 0, 0, 0, 0, 0},  {3, 3, 3, 3, 3, 3, 3},  {0, 0, -3, 0, 3, 0, 0},
  };
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 7; ++x) EXPECT_EQ(relief.at<float>(y, x), expected[y][x]) << x << "," << y;
  // On flat grey the relief is added as sampled at (x / W, y / H).
  const cv::Mat grey = test::Flat(7, 6, {100, 100, 100});
  cv::Mat dst;
  ASSERT_TRUE(GridKernel(grey, dst, 5, 3, nullptr));
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 7; ++x) {
      const float lift = SampleImage(relief, x / 7.0f, y / 6.0f, {})[0];
      EXPECT_EQ(dst.at<cv::Vec3b>(y, x)[0], int(100 + lift)) << x << "," << y;
    }
}

TEST(NoiseField, DrawsOneNumberPerCellOfItsGridAndIsSmooth) {
  struct Case {
    cv::Size size;
    double cellsX, cellsY;
    int draws;  // w x h
  } cases[] = {{{200, 100}, 6, 3, 8 * 4}, {{64, 64}, 100, 100, 32 * 32}, {{50, 1}, 0.5, 0.5, 2 * 2}};
  for (const Case& c : cases) {
    CrtRandom random(5), expected(5);
    cv::Mat field(c.size, CV_32FC1), again(c.size, CV_32FC1);
    NoiseField(field, c.cellsX, c.cellsY, random);
    expected.Discard(c.draws);
    EXPECT_EQ(random.State(), expected.State()) << c.size;
    CrtRandom same(5);
    NoiseField(again, c.cellsX, c.cellsY, same);
    EXPECT_TRUE(cv::norm(field, again, cv::NORM_INF) == 0) << c.size;
  }
  cv::Mat field(120, 160, CV_32FC1);
  CrtRandom random(9);
  NoiseField(field, 4, 3, random);
  double low, high;
  cv::minMaxLoc(field, &low, &high);
  EXPECT_GT(high - low, 0.2);
  EXPECT_NEAR(cv::mean(field)[0], 0.5, 0.15);
  // 40 pixels per cell: neighbours hardly differ.
  cv::Mat step = cv::abs(field.colRange(1, 160) - field.colRange(0, 159));
  cv::minMaxLoc(step, nullptr, &high);
  EXPECT_LT(high, 0.1);
}

TEST(PerlinTex, ReadsItsElementAndNeutralSettingsKeepThePhoto) {
  struct Case {
    const char* xml;
    PerlinParams expected;
  } cases[] = {
      {"<filter/>", {1, 1, 0.5f, 0.5f, PerlinType::Lumin}},
      {"<filter dense='6' intense='0.3' alpha1='0.7' alpha2='0.2' type='color'/>", {6, 0.3f, 0.7f, 0.2f, PerlinType::Color}},
      {"<filter type='merge' dense='x'/>", {1, 1, 0.5f, 0.5f, PerlinType::Merge}},
      {"<filter type='plaid'/>", {1, 1, 0.5f, 0.5f, PerlinType::Lumin}},
  };
  for (const Case& c : cases) {
    tinyxml2::XMLDocument doc;
    doc.Parse(c.xml);
    auto filter = CreateFilterFromXml("PerlinTexFilter", doc.RootElement(), {}, false, nullptr);
    const PerlinParams& p = static_cast<CF_PerlinTex*>(filter.get())->Params();
    EXPECT_EQ(p.dense, c.expected.dense) << c.xml;
    EXPECT_EQ(p.intense, c.expected.intense) << c.xml;
    EXPECT_EQ(p.alpha1, c.expected.alpha1) << c.xml;
    EXPECT_EQ(p.alpha2, c.expected.alpha2) << c.xml;
    EXPECT_EQ(p.type, c.expected.type) << c.xml;
  }
  const cv::Vec3b wheel = PerlinColour(0, 1);
  EXPECT_EQ(wheel[0], 255);
  EXPECT_NEAR(wheel[1], 64, 1);
  EXPECT_NEAR(wheel[2], 64, 1);
  EXPECT_EQ(PerlinColour(0.37f, 0), cv::Vec3b(128, 128, 128));
  const cv::Mat photo = Gradient(40, 30);
  for (PerlinType type : {PerlinType::Lumin, PerlinType::Merge}) {
    cv::Mat dst;
    CrtRandom random(3);
    ASSERT_TRUE(PerlinTexKernel(photo, dst, {4, 0, 0.5f, 0.5f, type}, random, nullptr));
    EXPECT_TRUE(Same(dst, photo)) << int(type);
  }
}

}  // namespace
}  // namespace grinsnap
