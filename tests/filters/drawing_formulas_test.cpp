// Values the drawing kernels' formulas give on small hand-made pictures.
#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "filters/drawing/cartoon.h"
#include "filters/drawing/dab_painting.h"
#include "filters/drawing/hard_pastel.h"
#include "filters/drawing/oil_paint.h"
#include "filters/drawing/profile.h"
#include "filters/drawing/region_growing.h"
#include "filters/drawing/sketch.h"
#include "filters/drawing/water_paint.h"
#include "filters/drawing/wax_pen.h"
#include "filters/drawing/wood_print.h"
#include "platform/crt_random.h"
#include "test_support/test_support.h"

namespace grinsnap {
namespace {

// One row of grey pixels (B = G = R).
cv::Mat GreyRow(std::initializer_list<int> values) {
  cv::Mat img(1, static_cast<int>(values.size()), CV_8UC3);
  int x = 0;
  for (int v : values) img.at<cv::Vec3b>(0, x++) = cv::Vec3b::all(static_cast<uchar>(v));
  return img;
}

std::vector<int> FirstChannel(const cv::Mat& img) {
  std::vector<int> values;
  for (int y = 0; y < img.rows; ++y)
    for (int x = 0; x < img.cols; ++x) values.push_back(img.at<cv::Vec3b>(y, x)[0]);
  return values;
}

TEST(DrawingFormulas, PerPixelKernelsOnHandMadePictures) {
  // The sketch: a flat picture has no deviation and sits on its mean (250);
  // two pixels 100, 110 have mean 105, deviation 5, scale 105 / 125, so the
  // darker gives 2.2 (100 - 107.5) / 0.84 + 250 = 230.36; 0 and 4 raise the
  // scale's mean to 10, so 0 gives 2.2 (0 - 3) / 0.08 + 250 = 167.5.
  // The silhouette: black has m = 0 (127 everywhere); 0, 130, 245 have
  // m = 125 and t = 0.24 at 130, so S = 0.353, (1.353 / 2) 255 = 172.5.
  // The cartoon keeps greys grey and pulls the intensity towards three
  // levels: 64 gives (0.25098 - sin(2 pi 0.25098) / 2 pi) 255 = 23.4.
  // Sign diffusion of 0, 10: each moves one step towards the other (1, 9),
  // then 1.95 and 8.05, a change below 1 that ends the passes.
  struct Case {
    const char* what;
    bool (*kernel)(const cv::Mat&, cv::Mat&);
    cv::Mat input;
    std::vector<int> expected;
  };
  auto sketch = [](const cv::Mat& in, cv::Mat& out) { return SketchKernel(in, out, nullptr); };
  auto profile = [](const cv::Mat& in, cv::Mat& out) { return ProfileKernel(in, out, nullptr); };
  auto cartoon = [](const cv::Mat& in, cv::Mat& out) { return CartoonKernel(in, out, nullptr); };
  auto diffusion = [](const cv::Mat& in, cv::Mat& out) { return SignDiffusionKernel(in, out, 1.0f, nullptr); };
  const Case cases[] = {
      {"sketch, flat 0", sketch, test::Flat(7, 5, cv::Vec3b::all(0)), std::vector<int>(35, 250)},
      {"sketch, flat 173", sketch, test::Flat(60, 3, cv::Vec3b::all(173)), std::vector<int>(180, 250)},
      {"sketch, 100 and 110", sketch, GreyRow({100, 110}), {230, 255}},
      {"sketch, dark scale floor", sketch, GreyRow({0, 4}), {167, 255}},
      {"profile, black", profile, test::Flat(5, 4, cv::Vec3b::all(0)), std::vector<int>(20, 127)},
      {"profile, flat grey", profile, test::Flat(3, 1, cv::Vec3b::all(90)), {127, 127, 127}},
      {"profile, three greys", profile, GreyRow({0, 130, 245}), {127, 172, 255}},
      {"cartoon, greys", cartoon, GreyRow({0, 64, 192}), {0, 23, 232}},
      {"sign diffusion", diffusion, GreyRow({0, 10}), {2, 8}},
  };
  for (const Case& c : cases) {
    cv::Mat out;
    EXPECT_TRUE(c.kernel(c.input, out)) << c.what;
    EXPECT_EQ(FirstChannel(out), c.expected) << c.what;
    // Grey in, grey out: the three channels agree.
    std::vector<cv::Mat> planes;
    cv::split(out, planes);
    EXPECT_EQ(cv::norm(planes[0], planes[2], cv::NORM_INF), 0) << c.what;
  }
}

TEST(DrawingFormulas, SketchIsItsWindowFormulaAtEveryPixel) {
  // Window sums taken directly, pixel by pixel, against the kernel's
  // tables, borders and vector path: the integer sums are the same, so the
  // values must be too.
  cv::Mat photo(70, 83, CV_8UC3);
  cv::RNG(4).fill(photo, cv::RNG::UNIFORM, 0, 256);
  cv::GaussianBlur(photo, photo, cv::Size(), 2.0);
  cv::Mat grey, out;
  cv::cvtColor(photo, grey, cv::COLOR_BGR2GRAY);
  ASSERT_TRUE(SketchKernel(photo, out, nullptr));
  auto window = [&](int x, int y, int r, double& sum, double& squares, double& count) {
    sum = squares = count = 0;
    for (int j = std::max(y - r, 0); j <= std::min(y + r, grey.rows - 1); ++j)
      for (int i = std::max(x - r, 0); i <= std::min(x + r, grey.cols - 1); ++i) {
        const double g = grey.at<uchar>(j, i);
        sum += g, squares += g * g, count += 1;
      }
  };
  int wrong = 0;
  for (int y = 0; y < grey.rows; ++y)
    for (int x = 0; x < grey.cols; ++x) {
      double sa, qa, na, sb, qb, nb;
      window(x, y, 20, sa, qa, na);
      window(x, y, 25, sb, qb, nb);
      const double a = sa / na, deviation = std::sqrt(std::max(qa / na - a * a, 0.0));
      const double b = std::max(sb / nb, 10.0);
      const double v = (grey.at<uchar>(y, x) - (a + 0.5 * deviation)) / (b / 125.0);
      const int expected = static_cast<int>(std::clamp(2.2 * v + 250.0, 0.0, 255.0));
      wrong += out.at<cv::Vec3b>(y, x) != cv::Vec3b::all(static_cast<uchar>(expected));
    }
  EXPECT_EQ(wrong, 0);
}

TEST(DrawingFormulas, WoodGrainMixesTheTwoPicturesByTheStripes) {
  // Four columns without bend: D = 25 j, so even columns sit on the
  // triangle's peak (t = 1, m = grey - 127) and odd ones in its trough
  // (t = 0, m = grey + 128), clamped; white over black shows m itself.
  const cv::Mat white = test::Flat(4, 1, cv::Vec3b::all(255)), black = test::Flat(4, 1, cv::Vec3b::all(0));
  const struct {
    int grey;
    std::vector<int> expected;
  } cases[] = {{60, {0, 188, 0, 188}}, {200, {73, 255, 73, 255}}};
  for (const auto& c : cases) {
    cv::Mat out;
    WoodPrintKernel(test::Flat(4, 1, cv::Vec3b::all(static_cast<uchar>(c.grey))), white, black, out, 5.0f, 0.0f,
                    nullptr);
    EXPECT_EQ(FirstChannel(out), c.expected) << c.grey;
    WoodPrintKernel(test::Flat(4, 1, cv::Vec3b::all(static_cast<uchar>(c.grey))), black, white, out, 5.0f, 0.0f,
                    nullptr);
    for (std::size_t i = 0; i < c.expected.size(); ++i) EXPECT_EQ(FirstChannel(out)[i], 255 - c.expected[i]);
  }
}

TEST(DrawingFormulas, RegionsGrowByTheirRule) {
  // Two flat halves, 100 and 110 (ten columns each), smoothed into a ramp of
  // 102 .. 108 at the border. Tolerance 0 keeps only equal colours together,
  // so the output is the smoothed picture itself (a flat picture stays one
  // region of its own colour); a tolerance no step reaches makes one region
  // of the mean colour, 105.
  cv::Mat halves = test::Flat(20, 6, cv::Vec3b(100, 100, 100));
  halves.colRange(10, 20).setTo(cv::Scalar(110, 110, 110));
  cv::Mat smoothed;
  cv::blur(halves, smoothed, cv::Size(5, 5), cv::Point(-1, -1), cv::BORDER_REPLICATE);
  const cv::Mat flat = test::Flat(9, 7, cv::Vec3b(30, 140, 220));
  const struct {
    RegionRule rule;
    const cv::Mat& input;
    float t;
    cv::Mat expected;
  } cases[] = {
      {RegionRule::kDeviation, flat, 0.0f, flat},
      {RegionRule::kDeviation, halves, 0.0f, smoothed},
      {RegionRule::kDeviation, halves, 1e30f, test::Flat(20, 6, cv::Vec3b::all(105))},
      {RegionRule::kDeviation, halves, 2.0f, cv::Mat()},  // checked below: regions split at the border
      {RegionRule::kNeighbourDistance, flat, 0.0f, flat},
      {RegionRule::kNeighbourDistance, halves, 0.0f, smoothed},
      {RegionRule::kNeighbourDistance, halves, 1e30f, test::Flat(20, 6, cv::Vec3b::all(105))},
  };
  for (const auto& c : cases) {
    cv::Mat out;
    ASSERT_TRUE(GrowRegions(c.input, out, c.rule, c.t, nullptr));
    if (c.expected.empty()) {
      // Deviation 2: the left and right ends are different regions.
      EXPECT_LT(out.at<cv::Vec3b>(0, 0)[0], out.at<cv::Vec3b>(0, 19)[0]);
      continue;
    }
    EXPECT_EQ(cv::norm(out, c.expected, cv::NORM_INF), 0) << static_cast<int>(c.rule) << " t " << c.t;
  }
}

TEST(DrawingFormulas, BrushesAndTheirThinning) {
  const struct {
    const char* what;
    std::vector<cv::Point> brush;
    std::vector<cv::Point> expected;
  } cases[] = {
      // Sums -1 and 0 (2 / -2 = -1 up to 2 / 2 = 1), dx the outer loop.
      {"crayon 2", WaxPenBrush(2), {{-2, 1}, {-1, 0}, {-1, 1}, {0, -1}, {0, 0}, {1, -2}, {1, -1}}},
      // 3 / -2 truncates to -1, 3 / 2 to 1: the same two diagonals, longer.
      {"crayon 3", WaxPenBrush(3), {{-3, 2}, {-2, 1}, {-2, 2}, {-1, 0}, {-1, 1}, {0, -1}, {0, 0}, {1, -2}, {1, -1},
                                     {2, -3}, {2, -2}}},
      {"crayon 0", WaxPenBrush(0), {}},
      {"pastel 1", HardPastelBrush(1), {{-1, 0}, {0, -1}, {0, 0}, {0, 1}, {1, 0}}},
      {"pastel 0", HardPastelBrush(0), {{0, 0}}},
  };
  for (const auto& c : cases) EXPECT_EQ(c.brush, c.expected) << c.what;

  // The oil brush of size 0: its walks are one step long (two draws), and
  // the single offset lies between them.
  CrtRandom random(5);
  EXPECT_EQ(OilPaintBrush(0, random), (std::vector<cv::Point>{{0, 0}}));
  CrtRandom twoDraws(5);
  twoDraws.Next(), twoDraws.Next();
  EXPECT_EQ(random.State(), twoDraws.State());

  // Thinning removes at rand() x length / 32768 from the list as it shrinks,
  // then takes accents the same way: the same as erasing from a vector.
  for (const float k : {0.5f, 0.1f, 0.9f, 0.0f, 1.0f}) {
    std::vector<cv::Point> brush = HardPastelBrush(7), naive = brush, accents, naiveAccents;
    const std::size_t remove = ThinningCount(brush.size(), k);
    CrtRandom fast(99), slow(99);
    ThinBrush(brush, remove, fast, 4, &accents);
    for (std::size_t i = 0; i < remove; ++i) naive.erase(naive.begin() + slow.Next() * naive.size() / 32768);
    for (int i = 0; i < 4 && !naive.empty(); ++i) {
      const std::size_t at = (naive.size() * slow.Next()) >> 15;
      naiveAccents.push_back(naive[at]);
      naive.erase(naive.begin() + static_cast<std::ptrdiff_t>(at));
    }
    EXPECT_EQ(brush, naive) << k;
    EXPECT_EQ(accents, naiveAccents) << k;
  }
}

TEST(DrawingFormulas, TheWashKeepsBordersAndSmoothsWithinItsRange) {
  // Steps wider than the range survive the median and the sigma filter as
  // they are, also a hue near 0 beside one near a full turn; noise within
  // the range is smoothed away.
  auto halves = [](int type, cv::Scalar left, cv::Scalar right) {
    cv::Mat img(24, 40, type, left);
    img.colRange(20, 40).setTo(right);
    return img;
  };
  cv::Mat noisy(24, 40, CV_8UC3);
  cv::RNG(3).fill(noisy, cv::RNG::UNIFORM, 95, 106);
  const struct {
    const char* what;
    cv::Mat input;
    bool keeps;
  } cases[] = {
      {"colour step", halves(CV_8UC3, cv::Scalar(50, 90, 200), cv::Scalar(150, 20, 90)), true},
      {"hue wrap", halves(CV_8UC1, cv::Scalar(2), cv::Scalar(253)), true},
      {"noise", noisy, false},
  };
  for (const auto& c : cases) {
    cv::Mat out;
    ASSERT_TRUE(WashKernel(c.input, out, 0.0f, 5, 20.0f, nullptr));
    ASSERT_EQ(out.size(), c.input.size()) << c.what;
    if (c.keeps) {
      EXPECT_EQ(cv::norm(out, c.input, cv::NORM_INF), 0) << c.what;
    } else {
      cv::Scalar mean, before, after;
      cv::meanStdDev(c.input, mean, before);
      cv::meanStdDev(out, mean, after);
      EXPECT_LT(after[0], before[0] / 3) << c.what;
      EXPECT_NEAR(mean[0], 100, 1.5) << c.what;
    }
  }
}

TEST(DrawingFormulas, CartoonStaircase) {
  const float pi3 = static_cast<float>(CV_PI / 3);
  // (x, expected): flat at the start of a step, half way up in its middle,
  // (2 f)^5 / 2 of a step at f = 1/4, and one step up at the next.
  const std::pair<float, float> cases[] = {
      {0.0f, 0.0f}, {pi3 / 2, pi3 / 2}, {pi3 / 4, pi3 / 64}, {pi3, pi3}, {pi3 * 1.75f, pi3 * (2 - 1.0f / 64)}};
  for (const auto& [x, expected] : cases) EXPECT_NEAR(CartoonStaircase(x, pi3, pi3), expected, 1e-5f) << x;
}

}  // namespace
}  // namespace grinsnap
