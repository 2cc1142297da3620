#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core/utility.hpp>
#include <tinyxml2.h>

#include "core/registry.h"
#include "filters/filter_factory.h"
#include "core/sampler.h"
#include "filters/tone/mood.h"
#include "filters/tone/sunny.h"
#include "test_support/test_support.h"

namespace grinsnap {
namespace {

constexpr float kPi = std::numbers::pi_v<float>;

// A picture with a different colour at every pixel.
cv::Mat Gradient(int width, int height) {
  cv::Mat img(height, width, CV_8UC3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      img.at<cv::Vec3b>(y, x) = cv::Vec3b(uchar(x * 6), uchar(y * 8), uchar((x + y) * 3));
  return img;
}

template <typename T>
std::unique_ptr<T> Ready(const cv::Mat& photo, std::uint32_t seed, VariableBlock block = nullptr) {
  auto filter = std::make_unique<T>();
  filter->Load();
  if (!photo.empty()) filter->SetSources(std::span<const cv::Mat>(&photo, 1));
  filter->PrepareOutput(nullptr);
  filter->SetVariables(block);
  filter->SetSeed(seed);
  return filter;
}

bool Same(const cv::Mat& a, const cv::Mat& b) {
  return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

// Renders once with one thread and once with the default count.
template <typename Render>
void ExpectThreadCountIndependent(Render render) {
  const int threads = cv::getNumThreads();
  test::SetOpenCvThreads(1);
  cv::Mat single = render();
  test::SetOpenCvThreads(threads);
  EXPECT_TRUE(Same(single, render()));
}

// ---- rippled glass ----

TEST(MoodKernel, HeightlessPixelsPassAndOthersFollowTheSurface) {
  struct Case {
    int type;
    float a[4], b[4], p[4], uScale, vScale, shift, k;
  } cases[] = {
      {0,
       {17.571430f, -31.714287f, -22.428572f, 18.857143f},
       {-24.285715f, 31.714287f, -7.571429f, 35.0f},
       {1, -15, 2, -22},
       1.5f,
       1.0f,
       0.0f,
       1.0f},
      {1,
       {17.571430f, -31.714287f, -22.428572f, 0.0f},
       {-24.285715f, 31.714287f, -7.571429f, 18.857143f},
       {100, -150, 200, -220},
       -2.5f,
       2.5f,
       1.0f,
       3.0f},
  };
  const cv::Mat src = Gradient(40, 30);
  const float t = 0.37f;
  for (const Case& c : cases) {
    cv::Mat dst;
    ASSERT_TRUE(MoodKernel(src, dst, c.type, t, nullptr));
    int passed = 0, checked = 0;
    for (int y = 0; y < src.rows; ++y)
      for (int x = 0; x < src.cols; ++x) {
        const float u = c.uScale * x / 40.0f, v = c.vScale * y / 30.0f;
        float s = 0, gx = 0, gy = 0;
        for (int j = 0; j < 4; ++j) {
          const float h = c.a[j] * u + c.b[j] * v + c.p[j] * t;
          s += std::sin(h), gx += c.a[j] * std::cos(h), gy += c.b[j] * std::cos(h);
        }
        if (s + c.shift <= 0) {
          ++passed;
          ASSERT_EQ(dst.at<cv::Vec3b>(y, x), src.at<cv::Vec3b>(y, x)) << c.type << " at " << x << "," << y;
          continue;
        }
        if (++checked > 5) continue;  // a few surface pixels computed by hand
        const float r = std::sqrt(s + c.shift);
        const float nx = 0.5f * gx / r, ny = 0.5f * gy / r, len = std::sqrt(nx * nx + ny * ny + 1);
        const float e = 1 / len;
        const cv::Vec3f seen =
            SampleImage(src, x / 40.0f - 0.01f * (nx / len) * e, y / 30.0f - 0.01f * (ny / len) * e, {});
        for (int ch = 0; ch < 3; ++ch) {
          const float want =
              std::min(255.0f, seen[ch] + c.k * e * (255 - seen[ch]) + 255 * std::pow(e, 10.0f));
          EXPECT_NEAR(dst.at<cv::Vec3b>(y, x)[ch], int(want), 1) << c.type << " at " << x << "," << y;
        }
      }
    EXPECT_GT(passed, 0) << c.type;
    EXPECT_GT(checked, 0) << c.type;
  }
}

TEST(MoodKernel, FlatGreyIsOnlyBrightenedAndUnknownTypesDrawNothing) {
  const cv::Mat grey = test::Flat(64, 48, {100, 100, 100});
  for (int type : {0, 1}) {
    cv::Mat dst;
    MoodKernel(grey, dst, type, 0.5f, nullptr);
    double low, high;
    cv::minMaxLoc(dst.reshape(1), &low, &high);
    EXPECT_GE(low, 100) << type;
    EXPECT_GT(high, 100) << type;
  }
  // In place gives the same picture: pixels read their neighbours unchanged.
  cv::Mat inPlace = Gradient(30, 20), apart;
  MoodKernel(inPlace, apart, 1, 0.8f, nullptr);
  MoodKernel(inPlace, inPlace, 1, 0.8f, nullptr);
  EXPECT_TRUE(Same(inPlace, apart));
  cv::Mat dst = test::Flat(8, 8, {7, 7, 7});
  MoodKernel(grey, dst, 2, 0.5f, nullptr);
  EXPECT_TRUE(Same(dst, test::Flat(8, 8, {7, 7, 7})));
}

TEST(MoodFilter, TimeComesFromTheSeedAndRepeats) {
  // The C runtime's first number after seeding with 1 is 41.
  CrtRandom first(1), second(1);
  EXPECT_FLOAT_EQ(DrawMoodTime(first, 0), 0.41f);
  EXPECT_FLOAT_EQ(DrawMoodTime(second, 1), 41.0f / 32767.0f);

  const cv::Mat photo = Gradient(90, 70);
  for (int type : {0, 1}) {
    tinyxml2::XMLDocument doc;
    doc.Parse(type ? "<filter name='MoodFilter' type='1'/>" : "<filter name='MoodFilter'/>");
    auto filter = CreateFilterFromXml("MoodFilter", doc.RootElement(), {}, false, nullptr);
    ASSERT_NE(dynamic_cast<CF_Mood*>(filter.get()), nullptr);
    EXPECT_EQ(static_cast<CF_Mood*>(filter.get())->Type(), type);
    filter->SetSources(std::span<const cv::Mat>(&photo, 1));
    filter->PrepareOutput(nullptr);
    filter->SetSeed(1);
    filter->Process();
    const cv::Mat once = filter->GetOutput()->clone();
    ExpectThreadCountIndependent([&] {
      filter->Process();
      return filter->GetOutput()->clone();
    });
    cv::Mat expected;
    MoodKernel(photo, expected, type, type ? 41.0f / 32767.0f : 0.41f, nullptr);
    EXPECT_TRUE(Same(once, expected)) << type;
    filter->SetSeed(2);  // first number 45
    filter->Process();
    EXPECT_FALSE(Same(once, *filter->GetOutput())) << type;
  }
}

TEST(MoodFilter, UnknownTypeAndMissingSourceLeaveTheOutput) {
  tinyxml2::XMLDocument doc;
  doc.Parse("<filter name='MoodFilter' type='5'/>");
  const cv::Mat photo = Gradient(20, 10);
  auto unknown = CreateFilterFromXml("MoodFilter", doc.RootElement(), {}, false, nullptr);
  unknown->SetSources(std::span<const cv::Mat>(&photo, 1));
  unknown->PrepareOutput(nullptr);
  const_cast<cv::Mat*>(unknown->GetOutput())->setTo(cv::Scalar::all(77));
  unknown->Process();
  EXPECT_TRUE(Same(*unknown->GetOutput(), test::Flat(20, 10, {77, 77, 77})));

  auto empty = Ready<CF_Mood>(cv::Mat(), 1);
  empty->Process();
  EXPECT_EQ(empty->GetOutput()->size(), cv::Size(800, 600));
  EXPECT_EQ(cv::countNonZero(empty->GetOutput()->reshape(1)), 0);
}

// ---- sun, beams and flare ----

TEST(SunnyTables, FollowTheDrawOrder) {
  for (std::uint32_t seed : {1u, 2024u, 99999u}) {
    CrtRandom random(seed), replay(seed);
    const SunnyTables tables = MakeSunnyTables(random, 0.0f);
    auto u = [&] { return replay.NextUnit(); };
    float r = 0.3f, s = 0.2f;
    EXPECT_EQ(tables.ringRadius[0], 0.3f);
    for (int i = 1; i < 5; ++i) EXPECT_EQ(tables.ringRadius[i], r = r + 0.18f + 0.02f * (2 * u() - 1)) << i;
    EXPECT_GE(tables.ringRadius[1], 0.46f);
    EXPECT_LE(tables.ringRadius[1], 0.50f);
    EXPECT_EQ(tables.spotDistance[0], 0.2f);
    for (int i = 1; i < 15; ++i)
      EXPECT_EQ(tables.spotDistance[i], s = s + 1.0f / 15 + 0.03f * (2 * u() - 1)) << i;
    for (int i = 0; i < 15; ++i) {
      const bool small = i < 3 || replay.Next() % 3 != 0;
      EXPECT_EQ(tables.spotSize[i], small ? 0.02f + 0.01f * u() : 0.06f + 0.02f * u()) << i;
      if (i < 3) {
        EXPECT_TRUE(tables.spotSize[i] >= 0.02f && tables.spotSize[i] <= 0.03f) << i;
      }
    }
    EXPECT_EQ(tables.beam1, 0.225f * kPi + kPi / 20 * (2 * u() - 1));
    EXPECT_EQ(tables.beam2, 0.275f * kPi + kPi / 20 * (2 * u() - 1));
    EXPECT_EQ(tables.noise1.at<float>(0), 2 * u() - 1);
    replay.Discard(399);
    EXPECT_EQ(tables.noise2.at<float>(0), 2 * u() - 1);
    replay.Discard(1199);
    EXPECT_EQ(random.State(), replay.State()) << "tables draw exactly their numbers";
    EXPECT_EQ(DrawSunnyFlareAngle(random, 0.0f), 0.225f * kPi + kPi / 20 * (2 * u() - 1));
  }
}

TEST(SunnyTables, ColourCircleAndRingProfile) {
  CrtRandom random(5);
  const SunnyTables tables = MakeSunnyTables(random, 1.0f);
  EXPECT_NEAR(tables.beam1, 0.775f * kPi, kPi / 20 + 1e-6);
  EXPECT_NEAR(tables.beam2, 0.725f * kPi, kPi / 20 + 1e-6);
  // Blue leads, green and red follow a third and two thirds of a turn later.
  const cv::Vec3f start = tables.colours.at<cv::Vec3f>(0), quarter = tables.colours.at<cv::Vec3f>(200);
  EXPECT_EQ(start[0], 255.0f);
  EXPECT_NEAR(start[1], 64, 1e-3);
  EXPECT_NEAR(start[2], 64, 1e-3);
  EXPECT_NEAR(quarter[0], 128, 1e-3);
  EXPECT_NEAR(quarter[1], 128 - 128 * std::sqrt(3.0f) / 2, 1e-3);
  EXPECT_NEAR(quarter[2], 128 + 128 * std::sqrt(3.0f) / 2, 1e-3);
  const float* ring = tables.rings.ptr<float>(0);
  EXPECT_EQ(ring[1199], 0.0f);
  EXPECT_EQ(ring[120], 0.0f);          // no ring at distance 0.1
  EXPECT_NEAR(ring[360], 0.2f, 1e-6);  // the first ring sits at 0.3
  for (float r : tables.ringRadius) {
    if (r < 0.99f) {  // the last ring may lie past the row
      EXPECT_GT(ring[int(r * 1200)], 0.19f) << r;
    }
  }
}

TEST(SunnyTables, RowLookupIsTheImageSamplerOnOneRow) {
  cv::Mat rows[] = {cv::Mat(1, 7, CV_32F), cv::Mat(1, 400, CV_32F), cv::Mat(1, 5, CV_32FC3),
                    cv::Mat(1, 1, CV_32F)};
  cv::RNG rng(3);
  for (cv::Mat& row : rows) rng.fill(row, cv::RNG::UNIFORM, -300, 300);
  for (const cv::Mat& row : rows)
    for (SampleBorder border : {SampleBorder::Clamp, SampleBorder::Tile}) {
      std::vector<float> ts = {0.0f, 1.0f, 1e12f, -1e12f, std::nanf("")};
      for (float t = -2.5f; t < 2.5f; t += 0.00137f) ts.push_back(t);
      // Just past the first centre the fraction is finer than half an ulp of
      // 1, where the triangle test fx + fy <= 1 differs from fx <= 0.5.
      for (int k = -8; k <= 8; ++k) ts.push_back(std::ldexp(float(k), -24) / float(row.cols));
      for (int i = -row.cols; i <= 2 * row.cols; ++i) {  // around the points half way between entries
        const float at = float(i) / float(row.cols);
        for (float d : {-1.0f, 1.0f}) ts.push_back(std::nextafter(std::nextafter(at, at + d), at + d));
        ts.push_back(std::nextafter(at, at + 1.0f));
        ts.push_back(at);
      }
      for (float t : ts) {
        const cv::Vec3f fast = SampleTableRow(row, t, border);
        const cv::Vec3f slow = SampleImage(row, t, 0.0f, {true, true, border, cv::Scalar::all(0)});
        ASSERT_EQ(std::memcmp(&fast, &slow, sizeof fast), 0)
            << "t " << t << " length " << row.cols << " border " << int(border) << ": " << fast << " vs "
            << slow;
      }
    }
}

TEST(SunnyFilter, CoreAroundTheSunIsPureWhite) {
  struct Case {
    int width, height;
    bool block;
    float c, k;
  } cases[] = {{300, 200, false, 0, 1},
               {64, 64, false, 0, 1},
               {50, 400, false, 0, 1},
               {300, 200, true, 0.5f, 2},
               {300, 200, true, 1, 1}};
  for (const Case& c : cases) {
    const auto block = test::BlockWith({c.c, c.k});
    auto filter = Ready<CF_Sunny>(test::Flat(c.width, c.height, {10, 20, 30}), 4, c.block ? VariableBlock(block) : VariableBlock());
    filter->Process();
    const cv::Mat& out = *filter->GetOutput();
    const float core = 0.02f * std::min(c.width, c.height) * c.k, sunX = c.c * c.width;
    int white = 0;
    for (int y = 0; y < out.rows; ++y)
      for (int x = 0; x < out.cols; ++x)
        if (std::hypot(x - sunX, float(y)) < core) {
          ++white;
          EXPECT_EQ(out.at<cv::Vec3b>(y, x), cv::Vec3b(255, 255, 255))
              << c.width << "x" << c.height << " " << x << "," << y;
        }
    EXPECT_GT(white, 0);
    EXPECT_NE(out.at<cv::Vec3b>(out.rows - 1, out.cols / 3), cv::Vec3b(255, 255, 255));
  }
}

TEST(SunnyFilter, SeedDecidesThePictureOnAnyThreadCount) {
  const cv::Mat photo = test::SamplePhoto("chelsea.png");
  auto filter = Ready<CF_Sunny>(photo, 77);
  const cv::Size box(320, 240);
  filter->PrepareOutput(&box);
  filter->Process();
  const cv::Mat first = filter->GetOutput()->clone();
  ExpectThreadCountIndependent([&] {
    filter->Process();
    return filter->GetOutput()->clone();
  });
  EXPECT_TRUE(Same(first, *filter->GetOutput()));
  filter->SetSeed(78);
  filter->Process();
  EXPECT_FALSE(Same(first, *filter->GetOutput()));
}

TEST(SunnyGlowKernel, AwayFromTheBeamsThePhotoOnlyMixesWithWhite) {
  const cv::Vec3b colour(40, 90, 160);
  const cv::Mat src = test::Flat(200, 150, colour);
  CrtRandom random(11);
  const SunnyTables tables = MakeSunnyTables(random, 0.0f);
  cv::Mat glow, full;
  SunnyGlowKernel(src, glow, 0.0f, 1.0f, tables, nullptr);
  CrtRandom again(11);
  SunnyKernel(src, full, 0.0f, 1.0f, again, nullptr);
  const float R = 150;
  // Along the top edge the angle is 0, down the left edge it is a right
  // angle: both far from the beams and the flare row.
  for (cv::Point p :
       {cv::Point(5, 0), cv::Point(60, 0), cv::Point(199, 0), cv::Point(0, 70), cv::Point(0, 149)}) {
    const float theta = p.y ? kPi / 2 : 0.0f, d = float(p.x + p.y);
    const float h = SampleImage(tables.noise1, theta / (2 * kPi), 0, {true, true, SampleBorder::Tile, {}})[0];
    const float g = std::max(0.65f * R + 0.05f * R * std::cos(40 * theta) + 0.12f * R * h, 0.6f * R);
    const float w = std::exp(-((d - 0.02f * R) / g) * ((d - 0.02f * R) / g));
    for (int ch = 0; ch < 3; ++ch) {
      EXPECT_EQ(glow.at<cv::Vec3b>(p)[ch], int((1 - w) * colour[ch] + 255 * w)) << p;
      EXPECT_EQ(full.at<cv::Vec3b>(p)[ch], glow.at<cv::Vec3b>(p)[ch]) << p;
    }
  }
}

TEST(SunnyGlowKernel, RainbowColoursOnlyInsideTheBeams) {
  const cv::Mat grey = test::Flat(400, 300, {128, 128, 128});
  for (float c : {0.0f, 0.6f}) {
    CrtRandom random(21);
    const SunnyTables tables = MakeSunnyTables(random, c);
    cv::Mat out;
    SunnyGlowKernel(grey, out, c, 1.0f, tables, nullptr);
    int coloured = 0;
    for (int y = 0; y < out.rows; ++y)
      for (int x = 0; x < out.cols; ++x) {
        const cv::Vec3b p = out.at<cv::Vec3b>(y, x);
        if (p[0] == p[1] && p[1] == p[2]) continue;
        ++coloured;
        const float theta =
            std::acos(std::clamp((x - c * 400) / std::hypot(x - c * 400, float(y)), -1.0f, 1.0f));
        const float off = std::min(std::fabs(theta - tables.beam1), std::fabs(theta - tables.beam2));
        ASSERT_LT(off, kPi / 160 + 1e-5f) << x << "," << y;
      }
    EXPECT_GT(coloured, 0) << c;
  }
}

TEST(SunnySpot, BlendsADiscWithABrighterRimInsideItsBox) {
  struct Case {
    float px, py, radius;
    cv::Point at;
    cv::Vec3b expected;  // from grey 100
  } cases[] = {
      {20, 20, 10, {20, 20}, {110, 112, 115}},    // centre: q = 0.1
      {20, 20, 10, {29, 20}, {120, 125, 130}},    // start of the rim: q = 0.2
      {20, 20, 10, {30, 20}, {100, 100, 100}},    // the radius itself is outside
      {20.5f, 20, 3, {18, 20}, {118, 123, 127}},  // q = 0.1 + 0.1 (2.5 / 2.7)^2
      {20.5f, 20, 3, {23, 20}, {100, 100, 100}},  // inside the disc but beyond the box's last column
      {-3, -3, 10, {0, 0}, {112, 115, 118}},      // box clamped at the corner
      {-50, -50, 10, {0, 0}, {100, 100, 100}},   {std::nanf(""), 5, 10, {5, 5}, {100, 100, 100}},
  };
  for (const Case& c : cases) {
    cv::Mat img = test::Flat(41, 41, {100, 100, 100});
    DrawSunnySpot(img, c.px, c.py, c.radius, {200, 225, 250});
    const cv::Vec3b got = img.at<cv::Vec3b>(c.at);
    EXPECT_EQ(got, c.expected) << c.px << " " << c.at;
  }
}

TEST(SunnyFilter, BackgroundAboveSixHundredAndAbortSharesTheFlag) {
  struct Case {
    cv::Size box;
    bool background;
  } cases[] = {{{601, 10}, true}, {{10, 601}, true}, {{600, 600}, false}, {{1, 1}, false}};
  for (const Case& c : cases) {
    auto filter = Ready<CF_Sunny>(cv::Mat(), 1);
    filter->PrepareOutput(&c.box);
    EXPECT_EQ(filter->RunsInBackground(), c.background) << c.box;
  }

  auto filter = Ready<CF_Sunny>(test::Flat(120, 90, {50, 50, 50}), 3);
  filter->Abort();
  EXPECT_TRUE(filter->AbortRequested());
  filter->Process();
  cv::Mat grey;
  cv::extractChannel(*filter->GetOutput(), grey, 0);
  EXPECT_EQ(cv::countNonZero(grey), 0) << "no row starts after the abort";
  filter->ClearAbort();
  filter->Process();
  cv::extractChannel(*filter->GetOutput(), grey, 0);
  EXPECT_EQ(cv::countNonZero(grey), 120 * 90);
}

TEST(ToneLightFilters, TinyAndMissingPicturesDoNotCrash) {
  for (cv::Size size : {cv::Size(1, 1), cv::Size(1, 7), cv::Size(7, 1), cv::Size(2, 2)}) {
    const cv::Mat photo = Gradient(size.width, size.height);
    auto sunny = Ready<CF_Sunny>(photo, 9);
    sunny->Process();
    EXPECT_EQ(sunny->GetOutput()->size(), size);
    for (int type : {0, 1}) {
      cv::Mat out;
      MoodKernel(photo, out, type, 0.3f, nullptr);
      EXPECT_EQ(out.size(), size);
    }
  }
  cv::Mat out;
  CrtRandom random(1);
  EXPECT_TRUE(SunnyKernel(cv::Mat(), out, 0, 1, random, nullptr));
  EXPECT_TRUE(out.empty());
  const float zeroScale[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
  auto flat = Ready<CF_Sunny>(Gradient(20, 20), 9, zeroScale);
  flat->Process();  // a sun of no size: no division fault, no crash
}

}  // namespace
}  // namespace grinsnap
