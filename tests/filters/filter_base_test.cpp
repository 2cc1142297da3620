#include <malloc.h>

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include "core/registry.h"
#include "core/render.h"
#include "filters/filter_factory.h"
#include "filters/combine.h"
#include "core/sampler.h"
#include "filters/simple_filter.h"
#include "filters/working_resolution.h"
#include "test_support/test_support.h"

namespace grinsnap {
namespace {

std::unique_ptr<CF_SimpleFilter> LoadedSimple(bool share = false) {
  auto filter = std::make_unique<CF_SimpleFilter>();
  filter->SetShareSources(share);
  filter->Load();
  return filter;
}

TEST(SimpleFilterOutput, PrepareOutputSizing) {
  struct Case {
    const char* what;
    cv::Size source;  // 0 x 0 for none
    bool withBox;
    cv::Size box;
    cv::Size expected;
    bool replaced;
  } cases[] = {
      {"box larger than source: never enlarged", {300, 200}, true, {800, 600}, {300, 200}, true},
      {"box limits the height", {1000, 1000}, true, {800, 600}, {600, 600}, true},
      {"box limits the width", {1000, 500}, true, {400, 600}, {400, 200}, true},
      {"rounded to nearest", {333, 100}, true, {100, 100}, {100, 30}, true},
      {"box without source", {0, 0}, true, {123, 45}, {123, 45}, true},
      {"natural size", {640, 480}, false, {}, {640, 480}, true},
      {"no box, no source", {0, 0}, false, {}, {800, 600}, false},  // Load already made 800 x 600
  };
  for (const Case& c : cases) {
    auto filter = LoadedSimple();
    if (c.source.width > 0) {
      cv::Mat photo = test::Flat(c.source.width, c.source.height, {9, 9, 9});
      filter->SetSources(std::span<const cv::Mat>(&photo, 1));
    }
    bool replaced = filter->PrepareOutput(c.withBox ? &c.box : nullptr);
    ASSERT_NE(filter->GetOutput(), nullptr) << c.what;
    EXPECT_EQ(filter->GetOutput()->size(), c.expected) << c.what;
    EXPECT_EQ(filter->GetOutput()->type(), CV_8UC3) << c.what;
    EXPECT_EQ(replaced, c.replaced) << c.what;
    EXPECT_EQ(cv::countNonZero(filter->GetOutput()->reshape(1)), 0) << c.what << ": cleared to black";
  }
}

TEST(SimpleFilterOutput, SameNaturalSizeKeepsTheImageButClearsIt) {
  auto filter = LoadedSimple();
  cv::Mat photo = test::Flat(64, 32, {1, 2, 3});
  filter->SetSources(std::span<const cv::Mat>(&photo, 1));
  EXPECT_TRUE(filter->PrepareOutput(nullptr));
  const_cast<cv::Mat*>(filter->GetOutput())->setTo(cv::Scalar::all(77));
  const uchar* before = filter->GetOutput()->data;
  EXPECT_FALSE(filter->PrepareOutput(nullptr));
  EXPECT_EQ(filter->GetOutput()->data, before);
  EXPECT_EQ(cv::countNonZero(filter->GetOutput()->reshape(1)), 0);
  // Without a source the natural size goes back to 800 x 600.
  filter->SetSources({});
  EXPECT_TRUE(filter->PrepareOutput(nullptr));
  EXPECT_EQ(filter->GetOutput()->size(), cv::Size(800, 600));
}

TEST(SimpleFilterSources, CopiesTheRegionUnlessShared) {
  cv::Mat big = test::Flat(20, 10, {5, 6, 7});
  big(cv::Rect(4, 2, 6, 3)).setTo(cv::Scalar(50, 60, 70));
  cv::Mat region = big(cv::Rect(4, 2, 6, 3));
  cv::Mat second = test::Flat(3, 3, {1, 1, 1});
  cv::Mat inputs[] = {region, second};

  auto copying = LoadedSimple(false);
  copying->SetSources(inputs);
  EXPECT_EQ(copying->Source().size(), cv::Size(6, 3));
  EXPECT_NE(copying->Source().data, region.data);
  EXPECT_EQ(copying->Source().at<cv::Vec3b>(0, 0), cv::Vec3b(50, 60, 70));
  ASSERT_EQ(copying->ExtraSources().size(), 1u);
  EXPECT_NE(copying->ExtraSources()[0].data, second.data);

  auto sharing = LoadedSimple(true);
  sharing->SetSources(inputs);
  EXPECT_EQ(sharing->Source().data, region.data);
  EXPECT_EQ(sharing->ExtraSources()[0].data, second.data);
  sharing.reset();
  EXPECT_EQ(big.at<cv::Vec3b>(2, 4), cv::Vec3b(50, 60, 70));  // the caller's images are intact

  // Grey and four-channel pictures become 8-bit BGR copies.
  cv::Mat grey(4, 4, CV_8UC1, cv::Scalar(90));
  copying->SetSources(std::span<const cv::Mat>(&grey, 1));
  EXPECT_EQ(copying->Source().type(), CV_8UC3);
  EXPECT_EQ(copying->Source().at<cv::Vec3b>(1, 1), cv::Vec3b(90, 90, 90));
}

TEST(SimpleFilterSources, EmptyInputsLeaveNoSource) {
  auto filter = LoadedSimple();
  cv::Mat photo = test::Flat(4, 4, {1, 2, 3});
  filter->SetSources(std::span<const cv::Mat>(&photo, 1));
  cv::Mat none[] = {cv::Mat(), photo};
  filter->SetSources(none);  // first entry missing
  EXPECT_TRUE(filter->Source().empty());
  EXPECT_TRUE(filter->ExtraSources().empty());
  filter->SetSources({});
  EXPECT_TRUE(filter->Source().empty());
}

TEST(WorkingResolution, ScalesToTheReferenceSize) {
  EXPECT_EQ(WorkingResolution({1000, 500}, 500), cv::Size(750, 375));
  EXPECT_EQ(WorkingResolution({500, 500}, 1000), cv::Size(1000, 1000));
  EXPECT_EQ(WorkingResolution({640, 427}, 1200), cv::Size(1499, 1000));  // c = 2.3432..., truncated
}

// The sampler on a 2 x 2 image with values a b / c d in every border mode.
template <typename T>
cv::Mat TwoByTwo(int depth, T a, T b, T c, T d) {
  cv::Mat m(2, 2, CV_MAKETYPE(depth, 3));
  m.at<cv::Vec<T, 3>>(0, 0) = cv::Vec<T, 3>::all(a);
  m.at<cv::Vec<T, 3>>(0, 1) = cv::Vec<T, 3>::all(b);
  m.at<cv::Vec<T, 3>>(1, 0) = cv::Vec<T, 3>::all(c);
  m.at<cv::Vec<T, 3>>(1, 1) = cv::Vec<T, 3>::all(d);
  return m;
}

TEST(Sampler, TriangleInterpolationOnTwoByTwo) {
  struct Case {
    const char* what;
    float u, v;  // pixel units (not normalised)
    SampleBorder border;
    float expected;
  } cases[] = {
      // Inside the cell: x = u - 0.5, y = v - 0.5; a=10 b=20 c=30 d=70.
      {"pixel centre", 0.5f, 0.5f, SampleBorder::Clamp, 10},
      {"upper triangle", 0.75f, 1.0f, SampleBorder::Clamp, 10 + 0.25f * 10 + 0.5f * 20},
      {"lower triangle", 1.25f, 1.0f, SampleBorder::Clamp, 70 + 0.5f * (20 - 70) + 0.25f * (30 - 70)},
      {"on the diagonal", 1.0f, 1.0f, SampleBorder::Clamp, 10 + 0.5f * 10 + 0.5f * 20},
      {"far corner", 1.5f, 1.5f, SampleBorder::Clamp, 70},
      // Outside: clamp repeats the edge, constant reads 100, tile wraps.
      {"left of the image, clamp", 0.0f, 0.5f, SampleBorder::Clamp, 10},
      {"left of the image, constant", 0.0f, 0.5f, SampleBorder::Constant, 100 + 0.5f * (10 - 100)},
      {"left of the image, tile", 0.0f, 0.5f, SampleBorder::Tile, 20 + 0.5f * (10 - 20)},
      {"below right, clamp", 2.0f, 2.0f, SampleBorder::Clamp, 70},
      {"below right, constant", 2.0f, 2.0f, SampleBorder::Constant, 70 + 0.5f * (100 - 70) + 0.5f * (100 - 70)},
      {"below right, tile", 2.0f, 2.0f, SampleBorder::Tile, 70 + 0.5f * (30 - 70) + 0.5f * (20 - 70)},
  };
  const cv::Mat images[] = {TwoByTwo<uchar>(CV_8U, 10, 20, 30, 70), TwoByTwo<float>(CV_32F, 10, 20, 30, 70),
                            TwoByTwo<ushort>(CV_16U, 10, 20, 30, 70), TwoByTwo<double>(CV_64F, 10, 20, 30, 70),
                            TwoByTwo<short>(CV_16S, 10, 20, 30, 70), TwoByTwo<int>(CV_32S, 10, 20, 30, 70)};
  for (const cv::Mat& image : images)
    for (const Case& c : cases) {
      SampleOptions options;
      options.normalised = false;
      options.border = c.border;
      options.constant = cv::Scalar::all(100);
      cv::Vec3f value = SampleImage(image, c.u, c.v, options);
      EXPECT_NEAR(value[0], c.expected, 1e-4) << c.what << " depth " << image.depth();
      EXPECT_FLOAT_EQ(value[0], value[2]) << c.what;
    }
}

TEST(Sampler, NormalisedSingleTapAndChannelForms) {
  cv::Mat image = TwoByTwo<uchar>(CV_8U, 10, 20, 30, 70);
  SampleOptions options;
  // Normalised (0.5, 0.5) is the middle of the picture: pixel position (1, 1).
  EXPECT_NEAR(SampleImage(image, 0.5f, 0.5f, options)[0], 10 + 0.5f * 10 + 0.5f * 20, 1e-4);
  options.interpolated = false;
  EXPECT_FLOAT_EQ(SampleImage(image, 0.99f, 0.99f, options)[0], 70);
  EXPECT_FLOAT_EQ(SampleImage(image, 0.5f, 0.5f, options)[0], 10);  // floor(0.5) = 0

  // One channel: the other two read 0; four channels: the fourth only in the four-channel form.
  cv::Mat grey(1, 1, CV_8UC1, cv::Scalar(40));
  EXPECT_EQ(SampleImage(grey, 0.5f, 0.5f, options), cv::Vec3f(40, 0, 0));
  cv::Mat rgba(1, 1, CV_8UC4, cv::Scalar(1, 2, 3, 4));
  EXPECT_EQ(SampleImage(rgba, 0.5f, 0.5f, options), cv::Vec3f(1, 2, 3));
  EXPECT_EQ(SampleImage4(rgba, 0.5f, 0.5f, options), cv::Vec4f(1, 2, 3, 4));
  options.border = SampleBorder::Constant;
  options.constant = cv::Scalar(5, 6, 7, 8);
  EXPECT_EQ(SampleImage4(rgba, -3.0f, 0.5f, options), cv::Vec4f(5, 6, 7, 8));
  // Positions that are not numbers, or huge, read the border instead of overflowing.
  options.border = SampleBorder::Clamp;
  options.normalised = false;
  EXPECT_EQ(SampleImage(rgba, 1e30f, -1e30f, options), cv::Vec3f(1, 2, 3));
  EXPECT_EQ(SampleImage(rgba, std::nanf(""), 0.5f, options), cv::Vec3f(1, 2, 3));
  EXPECT_EQ(SampleImage(cv::Mat(), 0.5f, 0.5f, options), cv::Vec3f(0, 0, 0));
}

// Parses a chain document and creates the combine filter from it.
struct Chain {
  tinyxml2::XMLDocument doc;
  std::unique_ptr<CImageFilter> filter;
  CF_Combine* combine = nullptr;
};

void MakeChain(Chain& chain, const char* xml) {
  ASSERT_EQ(chain.doc.Parse(xml), tinyxml2::XML_SUCCESS);
  chain.filter = CreateFilterFromXml("CombineFilter", chain.doc.RootElement(), "/tmp", false, nullptr);
  chain.combine = dynamic_cast<CF_Combine*>(chain.filter.get());
  ASSERT_NE(chain.combine, nullptr);
}

// Bytes the process has taken from malloc, in small blocks and mapped ones.
std::size_t HeapInUse() {
  const struct mallinfo2 info = ::mallinfo2();
  return info.uordblks + info.hblkhd;
}

TEST(CombineFilter, LoadingAChainAllocatesNoPictures) {
  std::string xml = "<filter name=\"CombineFilter\">";
  for (int i = 0; i < 256; ++i) xml += "<filter name=\"ColorFilter\"/>";
  xml += "</filter>";
  const std::size_t before = HeapInUse();
  Chain chain;
  MakeChain(chain, xml.c_str());
  ASSERT_EQ(chain.combine->Links().size(), 256u);
  // An 800 x 600 picture per filter would take 368 MB.
  EXPECT_LT(HeapInUse() - before, std::size_t(8) << 20);

  const cv::Mat photo = test::Flat(64, 48, {10, 20, 30});
  const RenderResult result = Render(*chain.filter, {.sources = std::span<const cv::Mat>(&photo, 1),
                                                      .size = OutputSize::Natural()});
  EXPECT_TRUE(result.IsFinished()) << result.message;
  ASSERT_NE(chain.filter->GetOutput(), nullptr);
  EXPECT_EQ(chain.filter->GetOutput()->size(), cv::Size(64, 48));
}

TEST(CombineFilter, CompMappingAndSharedSources) {
  Chain chain;
  MakeChain(chain,
            "<filter name=\"CombineFilter\">"
            "<filter name=\"ColorFilter\"><comp var1=\"2\" var2=\"5\" var3=\"0\" def1=\"1.5\" def2=\"2.5\"/></filter>"
            "<filter name=\"NoSuchFilter\"/>"
            "<filter name=\"ColorFilter\"/>"
            "<filter name=\"ColorFilter\"><comp var1=\"-3\" def1=\"abc\" def3=\"9\"/></filter>"
            "</filter>");
  const auto& links = chain.combine->Links();
  ASSERT_EQ(links.size(), 3u);  // the unknown filter is skipped
  EXPECT_EQ(links[0].index, (std::array<int, 3>{2, -1, 0}));
  EXPECT_EQ(links[0].defaults, (std::array<float, 3>{1.5f, 2.5f, 0}));
  EXPECT_EQ(links[1].index, (std::array<int, 3>{-1, -1, -1}));
  EXPECT_EQ(links[2].index, (std::array<int, 3>{-1, -1, -1}));
  EXPECT_EQ(links[2].defaults, (std::array<float, 3>{0, 0, 9}));
  EXPECT_FALSE(links[0].filter->ShareSources());
  EXPECT_TRUE(links[1].filter->ShareSources());
}

TEST(CombineFilter, RunsEachFilterOnThePreviousOutput) {
  // Two red/blue swaps and an offset: the chain gives the input back with red + 10.
  const char* swap = "<filter name=\"ColorFilter\"><mat><r b=\"1\"/><g g=\"1\"/><b r=\"1\"/></mat></filter>";
  std::string xml = std::string("<filter name=\"CombineFilter\">") + swap + swap +
                    "<filter name=\"ColorFilter\"><mat><r r=\"1\"/><g g=\"1\"/><b b=\"1\"/><c r=\"10\"/></mat></filter>"
                    "</filter>";
  Chain chain;
  MakeChain(chain, xml.c_str());
  cv::Mat photo = test::Flat(40, 30, {50, 100, 150});
  chain.filter->SetSources(std::span<const cv::Mat>(&photo, 1));
  cv::Size box(20, 20);
  chain.filter->PrepareOutput(&box);
  chain.filter->Process();
  const cv::Mat* out = chain.filter->GetOutput();
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(out->size(), cv::Size(20, 15));
  EXPECT_EQ(out->at<cv::Vec3b>(7, 9), cv::Vec3b(50, 100, 160));
  EXPECT_EQ(photo.at<cv::Vec3b>(0, 0), cv::Vec3b(50, 100, 150));

  // A 0 x 0 box renders at the natural size.
  cv::Size zero(0, 0);
  chain.filter->PrepareOutput(&zero);
  chain.filter->Process();
  EXPECT_EQ(chain.filter->GetOutput()->size(), cv::Size(40, 30));
}

// Records the block it is given during Process.
class BlockProbe : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "BlockProbeFilter";
  BlockProbe() : CF_SimpleFilter(kClassName, {}) {}
  bool RunKernel(const cv::Mat&, cv::Mat&) override {
    hadBlock = !variables_.Empty();
    for (int i = 0; i < 9; ++i) seen[i] = Var(i, -1);
    return true;
  }
  bool hadBlock = false;
  float seen[9] = {};
};

TEST(CombineFilter, BuildsABlockPerFilterFromTheChainBlock) {
  RegisterClass<BlockProbe>();
  Chain chain;
  MakeChain(chain,
            "<filter name=\"CombineFilter\">"
            "<filter name=\"BlockProbeFilter\"><comp var1=\"2\" var3=\"0\" def2=\"4.5\"/></filter>"
            "<filter name=\"BlockProbeFilter\"/>"
            "</filter>");
  const float block[9] = {11, 22, 33, 0.1f, 0.2f, 0.3f, 0.4f, 0.9f, 0.9f};
  chain.filter->SetVariables(block);
  cv::Mat photo = test::Flat(8, 8, {1, 2, 3});
  chain.filter->SetSources(std::span<const cv::Mat>(&photo, 1));
  chain.filter->PrepareOutput(nullptr);
  chain.filter->Process();
  auto* first = static_cast<BlockProbe*>(chain.combine->Links()[0].filter.get());
  auto* second = static_cast<BlockProbe*>(chain.combine->Links()[1].filter.get());
  ASSERT_TRUE(first->hadBlock);
  const float expected[9] = {33, 4.5f, 11, 0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.5f};
  for (int i = 0; i < 9; ++i) EXPECT_FLOAT_EQ(first->seen[i], expected[i]) << i;
  EXPECT_FALSE(second->hadBlock);  // no mapping: no block
  EXPECT_TRUE(first->Variables().Empty());  // taken back after Process
}

TEST(CombineFilter, EmptyChainHasNoOutputAndAbortReachesNestedFilters) {
  Chain empty;
  MakeChain(empty, "<filter name=\"CombineFilter\"/>");
  cv::Mat photo = test::Flat(8, 8, {1, 2, 3});
  empty.filter->SetSources(std::span<const cv::Mat>(&photo, 1));
  empty.filter->PrepareOutput(nullptr);
  empty.filter->Process();
  EXPECT_EQ(empty.filter->GetOutput(), nullptr);
  EXPECT_FALSE(empty.filter->RunsInBackground());

  Chain chain;
  MakeChain(chain, "<filter name=\"CombineFilter\"><filter name=\"SimpleFilter\"/></filter>");
  // Nested filters share the chain's abort flag.
  chain.filter->Abort();
  EXPECT_TRUE(chain.combine->Links()[0].filter->AbortRequested());
  chain.filter->ClearAbort();
  EXPECT_FALSE(chain.combine->Links()[0].filter->AbortRequested());
  // Another filter tree is not affected.
  Chain other;
  MakeChain(other, "<filter name=\"CombineFilter\"><filter name=\"SimpleFilter\"/></filter>");
  chain.filter->Abort();
  EXPECT_FALSE(other.combine->Links()[0].filter->AbortRequested());
}

TEST(CombineFilter, ANestedChainRendersAgainAfterACancelledRun) {
  // The inner chain joined the outer tree only after its own filters were
  // made; clearing the outer flag must still reach them.
  Chain chain;
  MakeChain(chain,
            "<filter name=\"CombineFilter\"><filter name=\"CombineFilter\">"
            "<filter name=\"ColorFilter\"><mat><r r=\"1\"/><g g=\"1\"/><b b=\"1\"/><c g=\"40\"/></mat></filter>"
            "</filter></filter>");
  const cv::Mat photo = test::Flat(16, 12, {50, 100, 150});
  const RenderRequest request{.sources = std::span<const cv::Mat>(&photo, 1), .size = OutputSize::Natural()};
  chain.filter->Abort();
  EXPECT_TRUE(Render(*chain.filter, request).IsCancelled());
  const RenderResult again = Render(*chain.filter, request);
  EXPECT_TRUE(again.IsFinished());
  ASSERT_NE(chain.filter->GetOutput(), nullptr);
  EXPECT_EQ(chain.filter->GetOutput()->at<cv::Vec3b>(5, 5), cv::Vec3b(50, 140, 150));
}

}  // namespace
}  // namespace grinsnap

namespace grinsnap {
namespace {

TEST(FixedSeed, SeededFiltersInAChainTakeTheFixedSeedUntilItIsCleared) {
  auto mood = CreateFilterFromXml("MoodFilter", nullptr, {}, false, nullptr);
  ASSERT_TRUE(mood);
  SetFixedSeed(12345);
  mood->Reseed();
  EXPECT_EQ(mood->Seed(), 12345u);
  SetFixedSeed(std::nullopt);
  mood->Reseed();
  EXPECT_NE(mood->Seed(), 12345u);
}

}  // namespace
}  // namespace grinsnap
