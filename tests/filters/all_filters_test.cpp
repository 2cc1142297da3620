// Every registered filter renders a sample photo with its defaults.
#include <set>
#include <sstream>

#include <gtest/gtest.h>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

#include "core/registry.h"
#include "core/render.h"
#include "filters/filter_factory.h"
#include "test_support/test_support.h"

namespace grinsnap {
namespace {

// Filters that are made for other inputs (several photos, a template's
// canvas) and are covered by their own suites.
const std::set<std::string> kOwnSuite = {"CombineFilter", "MultiSrcFilter", "FrameFilter", "3DCollageFilter", "TeapotFilter",
                                         "FaceFilter"};

// Filters whose defaults leave the picture as it is (a Lomo pass without
// blackness crushes nothing; the simple base draws nothing; a template's
// untouched block gives the mosaic cells of size 0).
const std::set<std::string> kUnchangedByDefault = {"LomoFilter", "MosaicFilter", "SimpleFilter"};

constexpr std::uint32_t kSeed = 20261208;

std::vector<std::string> BuiltinFilterNames() {
  std::vector<std::string> names;
  for (const std::string& name : test::BuiltinClassNames()) {
    auto object = CreateDataObject(name.c_str());
    if (object && object->Kind() == ObjectKind::Filter && !kOwnSuite.count(name)) names.push_back(name);
  }
  return names;
}

// A filter as a template would have it: the template's default block for
// filters that need one, their own defaults for the others.
std::unique_ptr<CImageFilter> MakeFilter(const std::string& name, bool share = false) {
  auto filter = CreateFilterFromXml(name.c_str(), nullptr, test::DataDir(), share, nullptr);
  if (filter && filter->Traits().needsBlock) filter->SetVariables(kDefaultVariableBlock);
  return filter;
}

// Renders with a fixed seed; empty unless the render finished.
cv::Mat RenderOnce(CImageFilter& filter, const cv::Mat& photo, std::optional<cv::Size> box) {
  const RenderResult result = Render(filter, {.sources = std::span<const cv::Mat>(&photo, 1),
                                              .size = OutputSize{box},
                                              .seed = kSeed});
  const cv::Mat* out = filter.GetOutput();
  return result.IsFinished() && out ? out->clone() : cv::Mat();
}

bool Same(const cv::Mat& a, const cv::Mat& b) {
  return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

TEST(AllFilters, EachRendersTheSamplePhotoReproduciblyOnAnyThreadCount) {
  const std::vector<std::string> names = BuiltinFilterNames();
  ASSERT_FALSE(names.empty());
  const cv::Mat photo = test::SamplePhoto("coffee.png");
  struct Size {
    const char* label;
    std::optional<cv::Size> box;
    cv::Size expected;
  } sizes[] = {{"preview", cv::Size(320, 240), {320, 213}}, {"natural", std::nullopt, photo.size()}};

  std::ostringstream failures;
  for (const std::string& name : names) {
    auto filter = MakeFilter(name);
    if (!filter) {
      failures << name << ": not created\n";
      continue;
    }
    for (const Size& size : sizes) {
      const std::string label = name + " at " + size.label;
      test::SetOpenCvThreads(2);
      const cv::Mat first = RenderOnce(*filter, photo, size.box);
      test::SetOpenCvThreads(1);
      const cv::Mat second = RenderOnce(*filter, photo, size.box);
      test::SetOpenCvThreads(-1);
      if (first.empty()) {
        failures << label << ": no output\n";
        continue;
      }
      if (first.size() != size.expected || first.type() != CV_8UC3) {
        failures << label << ": output " << first.size() << " type " << first.type() << "\n";
        continue;
      }
      if (!Same(first, second)) {
        failures << label << ": the same seed on 2 threads and on 1 differs (written to "
                 << test::WriteTestOutput(second, name + "-" + size.label + "-second") << ")\n";
      }
      cv::Mat input;
      cv::resize(photo, input, first.size(), 0, 0, cv::INTER_LINEAR);
      if (!kUnchangedByDefault.count(name) && Same(first, input)) {
        failures << label << ": output equals the input (written to "
                 << test::WriteTestOutput(first, name + "-" + size.label) << ")\n";
      }
    }
  }
  EXPECT_TRUE(failures.str().empty()) << failures.str();
}

TEST(AllFilters, EachRendersAtTheEndsOfItsDeclaredRanges) {
  // A template lets the user drag every variable from its minimum to its
  // maximum: neither end may fail, crash or hang.
  const cv::Mat photo = test::SamplePhoto("coffee.png");
  std::ostringstream failures;
  for (const std::string& name : BuiltinFilterNames()) {
    auto filter = MakeFilter(name);
    const FilterTraits& traits = filter->Traits();
    if (traits.params.empty()) continue;
    for (bool high : {false, true}) {
      std::array<float, kVariableBlockSize> block = kDefaultVariableBlock;
      for (const BlockParam& param : traits.params) {
        if (param.min > param.defaultValue || param.max < param.defaultValue)
          failures << name << ": " << param.name << " defaults outside its range\n";
        block[static_cast<std::size_t>(param.index)] = high ? param.max : param.min;
      }
      filter->SetVariables(block);
      if (RenderOnce(*filter, photo, cv::Size(160, 120)).empty())
        failures << name << ": no output with every parameter at its " << (high ? "maximum" : "minimum") << "\n";
    }
  }
  EXPECT_TRUE(failures.str().empty()) << failures.str();
}

TEST(AllFilters, NoSourceLeavesTheOutputAlone) {
  std::ostringstream failures;
  for (const std::string& name : BuiltinFilterNames()) {
    auto filter = MakeFilter(name);
    const RenderResult result = Render(*filter, {.size = OutputSize::Fit({50, 40})});
    const cv::Mat* out = filter->GetOutput();
    if (!result.IsFinished() || !out || out->size() != cv::Size(50, 40) || cv::countNonZero(out->reshape(1)) != 0)
      failures << name << ": output changed without a source\n";
  }
  EXPECT_TRUE(failures.str().empty()) << failures.str();
}

TEST(AllFilters, AbortStopsTheNextRunUntilClearedAndThenItRendersAgain) {
  // The same for every filter: a stop that comes before Process is kept, the
  // run reports Cancelled, and the render after it is whole.
  const cv::Mat photo = test::SamplePhoto("coffee.png");
  std::ostringstream failures;
  for (const std::string& name : BuiltinFilterNames()) {
    auto filter = MakeFilter(name);
    if (!filter->Traits().kernel) continue;
    const cv::Mat expected = RenderOnce(*filter, photo, cv::Size(64, 48));
    filter->Abort();
    const RenderResult stopped =
        Render(*filter, {.sources = std::span<const cv::Mat>(&photo, 1), .size = OutputSize::Fit({64, 48})});
    if (!stopped.IsCancelled()) failures << name << ": an aborted run was not reported as cancelled\n";
    if (!Same(RenderOnce(*filter, photo, cv::Size(64, 48)), expected))
      failures << name << ": the run after a cancelled one differs\n";
  }
  EXPECT_TRUE(failures.str().empty()) << failures.str();
}

TEST(AllFilters, SharedSourcesOfAnyFormatRender) {
  // A chain hands its later filters the previous output as it is; a shared
  // grey or four-channel picture must render, not trip a kernel's type check.
  cv::Mat grey(30, 40, CV_8UC1, cv::Scalar(120));
  cv::Mat bgra(30, 40, CV_8UC4, cv::Scalar(10, 200, 90, 255));
  std::ostringstream failures;
  for (const std::string& name : BuiltinFilterNames())
    for (const cv::Mat& input : {grey, bgra}) {
      auto filter = MakeFilter(name, true);
      cv::Mat out = RenderOnce(*filter, input, std::nullopt);
      if (out.size() != input.size() || out.type() != CV_8UC3)
        failures << name << " on " << input.channels() << " channels\n";
    }
  EXPECT_TRUE(failures.str().empty()) << failures.str();
}

}  // namespace
}  // namespace grinsnap
