// The weather family's own facts: what the registry-wide tests cannot see.
#include <array>
#include <cmath>
#include <limits>

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include "core/render.h"
#include "filters/filter_factory.h"
#include "filters/kernel_support.h"
#include "filters/warp/noise_field.h"
#include "filters/weather/mist.h"
#include "filters/weather/moving_shadow.h"
#include "filters/weather/random_wave.h"
#include "filters/weather/shock.h"
#include "filters/weather/tex_blend.h"
#include "filters/weather/water.h"
#include "filters/weather/water_surface.h"
#include "filters/weather/window.h"
#include "test_support/test_support.h"

namespace grinsnap {
namespace {

bool Same(const cv::Mat& a, const cv::Mat& b) { return a.size() == b.size() && cv::norm(a, b, cv::NORM_INF) == 0; }

std::unique_ptr<CImageFilter> FromXml(tinyxml2::XMLDocument& doc, const char* xml) {
  EXPECT_EQ(doc.Parse(xml), tinyxml2::XML_SUCCESS) << xml;
  return CreateFilterFromXml(doc.RootElement()->Attribute("name"), doc.RootElement(), test::DataDir(), false, nullptr);
}

cv::Mat RenderFilter(CImageFilter& filter, const cv::Mat& photo, RenderResult* result = nullptr) {
  const RenderResult run =
      Render(filter, {.sources = std::span<const cv::Mat>(&photo, 1), .size = OutputSize::Natural(), .seed = 5});
  if (result) *result = run;
  return run.IsFinished() ? filter.GetOutput()->clone() : cv::Mat();
}

TEST(Mist, HeightsAboveThreeQuartersAreDropletsTheRestIsFog) {
  // On a flat grey photo the fog is the same everywhere, (1 - 0.38) 100 +
  // 0.38 x 220 rounded, and only droplets differ from it.
  const cv::Mat flat = test::Flat(160, 120, {100, 100, 100});
  cv::Mat out;
  CrtRandom random(9);
  ASSERT_TRUE(MistKernel(flat, out, 12, random, nullptr));
  cv::Mat heights(flat.size(), CV_32FC1);
  CrtRandom same(9);
  NoiseField(heights, 12, 12.0 * 120 / 160, same);
  int droplets = 0, wrong = 0;
  for (int y = 0; y < flat.rows; ++y)
    for (int x = 0; x < flat.cols; ++x) {
      const float h = heights.at<float>(y, x);
      const bool fog = out.at<cv::Vec3b>(y, x) == cv::Vec3b(146, 146, 146);
      // The droplets' edges are smoothed over about a pixel.
      if (h < kMistDropletLevel - 0.05f && !fog) ++wrong;
      if (h > kMistDropletLevel + 0.05f) {
        ++droplets;
        if (fog) ++wrong;
      }
    }
  EXPECT_GT(droplets, 200);
  EXPECT_EQ(wrong, 0);
}

TEST(RandomWave, RandomWaterIsLitWithItsFixedConstants) {
  // Flat grey: refraction moves nothing, so each pixel is 70 (n.L)^100 +
  // (n.L) x 100 with n from the noise heights' right and lower differences
  // against 4 / min(entry 0, entry 1) and L = (0.2, 0.2, 1) normalised.
  const cv::Mat flat = test::Flat(96, 64, {100, 100, 100});
  const RandomWaveParams params{RandomWaveType::Water, 8, 16, 0.75f};
  cv::Mat out;
  CrtRandom random(4);
  ASSERT_TRUE(RandomWaveKernel(flat, out, params, random, nullptr));
  cv::Mat h(flat.size(), CV_32FC1);
  CrtRandom same(4);
  NoiseField(h, 96 / 8.0, 64 / 16.0, same);
  const double l = std::sqrt(0.2 * 0.2 * 2 + 1);
  int checked = 0;
  for (int y = 0; y + 1 < h.rows; ++y)
    for (int x = 0; x + 1 < h.cols; ++x) {
      const double dx = h.at<float>(y, x + 1) - h.at<float>(y, x), dy = h.at<float>(y + 1, x) - h.at<float>(y, x);
      const double vertical = 4.0 / 8.0, n = std::sqrt(dx * dx + dy * dy + vertical * vertical);
      const double diffuse = (-dx * 0.2 - dy * 0.2 + vertical) / (n * l);
      const double expected = 70 * std::pow(diffuse, 100) + diffuse * 100;
      ASSERT_NEAR(out.at<cv::Vec3b>(y, x)[1], expected, 1.01) << x << "," << y;
      ++checked;
    }
  EXPECT_GT(checked, 5000);

  // A type the filter does not know leaves the cleared output black.
  tinyxml2::XMLDocument doc;
  auto unknown = FromXml(doc, "<filter name='RandomWaveFilter' type='3'/>");
  EXPECT_EQ(cv::countNonZero(RenderFilter(*unknown, flat).reshape(1)), 0);
}

TEST(Window, EdgesFallOffAsTheirShapesSay) {
  WindowSettings s;
  s.radius = 0.5f, s.edge = 0.4f;
  const cv::Size size(200, 100);
  struct Case {
    WindowShape shape;
    float x;  // along the middle row; d = |x - 100| / 100
    float expected;
  } cases[] = {
      {WindowShape::Gaussian, 140, 1.0f},  {WindowShape::Gaussian, 170, std::exp(-4.5f / 4)},
      {WindowShape::Gaussian, 190, std::exp(-4.5f)}, {WindowShape::Cosine, 150, 1.0f},
      {WindowShape::Cosine, 170, 0.5f},    {WindowShape::Cosine, 190, 0.0f},
      {WindowShape::Cosine, 10, 0.0f},
  };
  for (const Case& c : cases) {
    s.shape = c.shape;
    EXPECT_NEAR(WindowWeight(s, c.x, 50, size), c.expected, 1e-5) << int(c.shape) << " at " << c.x;
  }
  struct Colour {
    const char* text;
    bool read;
    cv::Vec3f bgr;
  } colours[] = {{"#FF8000", true, {0, 128, 255}}, {"10, 20,30", true, {30, 20, 10}}, {"#12345", false, {}},
                 {"256,0,0", false, {}},           {"red", false, {}},                {"1,2,3,4", false, {}}};
  for (const Colour& c : colours) {
    cv::Vec3f got(-1, -1, -1);
    EXPECT_EQ(ParseColourText(c.text, got), c.read) << c.text;
    if (c.read) {
      EXPECT_EQ(got, c.bgr) << c.text;
    }
  }
}

TEST(Window, NestedFiltersMakeTheBackgroundAndTheContent) {
  // A window that is all edge-free inside shows the content filter's
  // picture; one that is all outside, with intense 0, the background
  // filter's. Abort reaches both.
  const cv::Mat photo = test::SamplePhoto("coffee.png");
  tinyxml2::XMLDocument alone;
  auto emboss = FromXml(alone, "<filter name='EmbossFilter'/>");
  auto sketch = FromXml(alone, "<filter name='SketchFilter'/>");
  const cv::Mat embossed = RenderFilter(*emboss, photo), sketched = RenderFilter(*sketch, photo);
  struct Case {
    const char* xml;
    const cv::Mat& expected;
  } cases[] = {
      {"<filter name='WindowFilter'><param radius='5' intense='0'><bkfilter name='SketchFilter'/></param>"
       "<filter name='EmbossFilter'/></filter>",
       embossed},
      {"<filter name='WindowFilter'><param radius='-1' edge='0' intense='0'><bkfilter name='SketchFilter'/></param>"
       "<filter name='EmbossFilter'/></filter>",
       sketched},
      {"<filter name='WindowFilter'><bkfilter name='SketchFilter'/><param type='cosine' radius='-1' edge='0' "
       "intense='0'/></filter>",
       sketched},
  };
  for (const Case& c : cases) {
    tinyxml2::XMLDocument doc;
    auto window = FromXml(doc, c.xml);
    int nested = 0;
    window->ForEachNested([&](CImageFilter&) { ++nested; });
    EXPECT_GE(nested, 1) << c.xml;
    EXPECT_TRUE(Same(RenderFilter(*window, photo), c.expected)) << c.xml;
    window->Abort();
    bool stopped = true;
    window->ForEachNested([&](CImageFilter& f) { stopped = stopped && f.AbortRequested(); });
    EXPECT_TRUE(stopped) << c.xml;
  }
  // A decoration that cannot be read fails the render with its name.
  tinyxml2::XMLDocument doc;
  auto missing = FromXml(doc, "<filter name='WindowFilter'><param decoration='no_such_frame.png'/></filter>");
  RenderResult run;
  RenderFilter(*missing, photo, &run);
  EXPECT_TRUE(run.IsFailed());
  EXPECT_NE(run.message.find("no_such_frame.png"), std::string::npos) << run.message;
}

TEST(WeatherFilters, NeutralSettingsAndFixedPartsKeepThePhoto) {
  const cv::Mat photo = test::SamplePhoto("coffee.png");
  cv::Mat out;
  // No shock strength: a copy.
  ASSERT_TRUE(ShockKernel(photo, out, 0.0f, 100, 80, nullptr));
  EXPECT_TRUE(Same(out, photo));
  // A ring's shift is 0 on its radius and largest 1 / sqrt 2 widths out.
  const float farthest = 500, shorter = 400, r = kShockRings[2].radius * farthest;
  EXPECT_NEAR(ShockAt(r, 0.1f, farthest, shorter).shift, 0.0f, 1e-3f);
  // No particles: a copy.
  TexBlendSettings none;
  none.particles = 0;
  CrtRandom random(1);
  ASSERT_TRUE(TexBlendKernel(photo, out, cv::Mat(8, 8, CV_8UC4, cv::Scalar::all(255)), none, random, nullptr));
  EXPECT_TRUE(Same(out, photo));
  // The reflection leaves the land above the waterline as it is.
  CrtRandom water(2);
  ASSERT_TRUE(WaterKernel(photo, out, WaterType::Reflection, water, nullptr));
  const int horizon = static_cast<int>(std::lround(kWaterHorizon * photo.rows));
  EXPECT_TRUE(Same(out.rowRange(0, horizon), photo.rowRange(0, horizon)));
  EXPECT_FALSE(Same(out.rowRange(horizon, photo.rows), photo.rowRange(horizon, photo.rows)));
}

TEST(MovingShadow, ThePointSlidesTheShadowsAcrossThePicture) {
  // On a flat photo the picture is the shadow alone: a shift of a tenth of
  // the width moves it by 60 of 600 pixels, and down by 40 of 400.
  const cv::Mat flat = test::Flat(600, 400, {120, 160, 200});
  for (ShadowType type : {ShadowType::Leaves, ShadowType::Blinds, ShadowType::Clouds}) {
    cv::Mat still, moved;
    ASSERT_TRUE(MovingShadowKernel(flat, still, type, {0, 0}, nullptr));
    ASSERT_TRUE(MovingShadowKernel(flat, moved, type, {0.1f, 0.1f}, nullptr));
    EXPECT_TRUE(Same(moved(cv::Rect(60, 40, 540, 360)), still(cv::Rect(0, 0, 540, 360)))) << int(type);
    EXPECT_FALSE(Same(moved, still)) << int(type);
  }
}

TEST(TexBlend, ParticlesAreDrawnSmallestFirstWithinTheirScales) {
  TexBlendSettings s;
  s.particles = 200, s.minScale = 0.1f, s.maxScale = 0.02f;  // swapped ends are taken in order
  CrtRandom random(7);
  const auto particles = DrawParticles(random, s, {300, 200});
  ASSERT_EQ(particles.size(), 200u);
  // Five draws a particle.
  CrtRandom expected(7);
  expected.Discard(200 * 5);
  EXPECT_EQ(random.State(), expected.State());
  for (std::size_t i = 0; i < particles.size(); ++i) {
    EXPECT_GE(particles[i].width, 0.02f * 200 - 1e-3f);
    EXPECT_LE(particles[i].width, 0.1f * 200 + 1e-3f);
    if (i) {
      EXPECT_LE(particles[i - 1].width, particles[i].width);
    }
  }
  struct Case {
    const char* xml;
    TexBlendMode mode;
    int particles;
  } cases[] = {{"<filter name='TexBlendFilter'/>", TexBlendMode::Argb, 40},
               {"<filter name='TexBlendFilter'><param color_mode='rgb' particle='7'/></filter>", TexBlendMode::Rgb, 7},
               {"<filter name='TexBlendFilter'><param color_mode='cmyk' particle='x'/></filter>", TexBlendMode::Argb, 40}};
  for (const Case& c : cases) {
    tinyxml2::XMLDocument doc;
    auto filter = FromXml(doc, c.xml);
    const TexBlendSettings& got = static_cast<CF_TexBlend*>(filter.get())->Settings();
    EXPECT_EQ(got.mode, c.mode) << c.xml;
    EXPECT_EQ(got.particles, c.particles) << c.xml;
  }
}

TEST(WeatherFilters, DocumentVariantsRepeatTheirSeedOnOneAndTwoThreads) {
  // The registry-wide test renders each filter without a document; these
  // kinds are chosen by the document.
  const char* documents[] = {
      "<filter name='RandomWaveFilter' type='1'/>",
      "<filter name='RandomWaveFilter' type='2'/>",
      "<filter name='WaterFilter' type='1'/>",
      "<filter name='MovingShadowFilter' type='1'/>",
      "<filter name='MovingShadowFilter' type='2'/>",
      "<filter name='TexBlendFilter'><param color_mode='rgb' particle='60' max_scale='0.3'/></filter>",
      "<filter name='WindowFilter'><param type='cosine' intense='0'><bkfilter name='MistFilter'/></param></filter>",
  };
  const cv::Mat photo = test::SamplePhoto("coffee.png");
  for (const char* xml : documents) {
    tinyxml2::XMLDocument doc;
    auto filter = FromXml(doc, xml);
    test::SetOpenCvThreads(2);
    const cv::Mat first = RenderFilter(*filter, photo);
    test::SetOpenCvThreads(1);
    const cv::Mat second = RenderFilter(*filter, photo);
    test::SetOpenCvThreads(-1);
    ASSERT_FALSE(first.empty()) << xml;
    EXPECT_TRUE(Same(first, second)) << xml;
    EXPECT_FALSE(Same(first, photo)) << xml;
  }
}

TEST(WeatherFilters, HostileBlockValuesRenderWithoutFailing) {
  // Whatever a document or a slider puts in the block: not numbers,
  // infinities, values far past any range, a point far outside.
  const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
  const float hostile[] = {nan, inf, -inf, 1e30f, -1e30f, 0.0f, -1.0f};
  const char* documents[] = {"<filter name='MistFilter'/>",        "<filter name='RandomWaveFilter' type='0'/>",
                             "<filter name='RandomWaveFilter' type='1'/>", "<filter name='RandomWaveFilter' type='2'/>",
                             "<filter name='ShockFilter'/>", "<filter name='MovingShadowFilter' type='1'/>"};
  const cv::Mat photo = test::Flat(48, 36, {30, 140, 220});
  for (const char* xml : documents)
    for (float v : hostile) {
      tinyxml2::XMLDocument doc;
      auto filter = FromXml(doc, xml);
      std::array<float, kVariableBlockSize> block = kDefaultVariableBlock;
      block[0] = block[1] = block[2] = block[7] = block[8] = v;
      filter->SetVariables(block);
      RenderResult run;
      const cv::Mat out = RenderFilter(*filter, photo, &run);
      EXPECT_TRUE(run.IsFinished()) << xml << " with " << v << ": " << run.message;
      EXPECT_EQ(out.size(), photo.size()) << xml << " with " << v;
    }
}

TEST(WeatherFilters, RunInTheBackgroundByTheirRules) {
  struct Case {
    const char* xml;
    int width, height;  // the output's size; 0 x 0 for none sized yet
    bool expected;
  } cases[] = {
      {"<filter name='MistFilter'><param delay='1'/></filter>", 10, 10, true},
      {"<filter name='MistFilter'><param delay='2'/></filter>", 2000, 2000, false},
      {"<filter name='ShockFilter'/>", 401, 10, true},
      {"<filter name='ShockFilter'/>", 400, 400, false},
      {"<filter name='RandomWaveFilter'/>", 10, 601, true},
      {"<filter name='RandomWaveFilter'/>", 600, 600, false},
      {"<filter name='WaterFilter'/>", 10, 10, true},
      {"<filter name='WindowFilter'/>", 1001, 10, true},
      {"<filter name='WindowFilter'/>", 1000, 1000, false},
      {"<filter name='TexBlendFilter'/>", 4000, 4000, false},
      {"<filter name='MovingShadowFilter'/>", 4000, 4000, false},
  };
  for (const Case& c : cases) {
    tinyxml2::XMLDocument doc;
    auto filter = FromXml(doc, c.xml);
    const cv::Size box(c.width, c.height);
    filter->PrepareOutput(&box);
    EXPECT_EQ(filter->RunsInBackground(), c.expected) << c.xml << " at " << box;
  }
}

}  // namespace
}  // namespace grinsnap
