// Every registered filter renders a sample photo with its defaults.
#include <set>
#include <sstream>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "core/registry.h"
#include "filters/image_filter.h"
#include "test_support/test_support.h"

namespace grinsnap {
namespace {

// Filters that read the template's block on every Process and get a
// template's default block here; the others run without one.
const std::set<std::string> kNeedsBlock = {"DimFilter", "MosaicFilter"};
// Filters that are made for other inputs (several photos, a template's
// canvas) and are covered by their own suites.
const std::set<std::string> kOwnSuite = {"CombineFilter", "MultiSrcFilter", "FrameFilter", "3DCollageFilter",
                                         "FaceFilter"};

// Filters whose defaults leave the picture as it is (a Lomo pass without
// blackness crushes nothing; the simple base draws nothing).
const std::set<std::string> kUnchangedByDefault = {"LomoFilter", "SimpleFilter"};

const float kTemplateDefaults[kVariableBlockSize] = {0, 0, 0, 0.25f, 0.25f, 0.5f, 0.5f, 0.5f, 0.5f};

std::vector<std::string> BuiltinFilterNames() {
  std::vector<std::string> names;
  for (const std::string& name : test::BuiltinClassNames()) {
    auto object = CreateDataObject(name.c_str());
    if (object && object->Kind() == ObjectKind::Filter && !kOwnSuite.count(name)) names.push_back(name);
  }
  return names;
}

// Renders with a fixed seed; empty on failure.
cv::Mat Render(CImageFilter& filter, const cv::Mat& photo, const cv::Size* box) {
  filter.SetSources(std::span<const cv::Mat>(&photo, 1));
  filter.PrepareOutput(box);
  filter.SetSeed(20261208);
  filter.Process();
  const cv::Mat* out = filter.GetOutput();
  return out ? out->clone() : cv::Mat();
}

TEST(AllFilters, EachRendersTheSamplePhotoReproducibly) {
  const std::vector<std::string> names = BuiltinFilterNames();
  ASSERT_FALSE(names.empty());
  const cv::Mat photo = test::SamplePhoto("coffee.png");
  const cv::Size preview(320, 240);
  struct Size {
    const char* label;
    const cv::Size* box;
    cv::Size expected;
  } sizes[] = {{"preview", &preview, {320, 213}}, {"natural", nullptr, photo.size()}};

  std::ostringstream failures;
  for (const std::string& name : names) {
    auto filter = CreateFilterFromXml(name.c_str(), nullptr, test::DataDir(), false,
                                      kNeedsBlock.count(name) ? kTemplateDefaults : nullptr);
    if (!filter) {
      failures << name << ": not created\n";
      continue;
    }
    for (const Size& size : sizes) {
      const std::string label = name + " at " + size.label;
      cv::Mat first = Render(*filter, photo, size.box);
      cv::Mat second = Render(*filter, photo, size.box);
      if (first.empty()) {
        failures << label << ": no output\n";
        continue;
      }
      if (first.size() != size.expected || first.type() != CV_8UC3) {
        failures << label << ": output " << first.size() << " type " << first.type() << "\n";
        continue;
      }
      if (cv::norm(first, second, cv::NORM_INF) != 0) {
        failures << label << ": two renders with the same seed differ (written to "
                 << test::WriteTestOutput(second, name + "-" + size.label + "-second") << ")\n";
      }
      cv::Mat input;
      cv::resize(photo, input, first.size(), 0, 0, cv::INTER_LINEAR);
      if (!kUnchangedByDefault.count(name) && cv::norm(first, input, cv::NORM_INF) == 0) {
        failures << label << ": output equals the input (written to "
                 << test::WriteTestOutput(first, name + "-" + size.label) << ")\n";
      }
    }
  }
  EXPECT_TRUE(failures.str().empty()) << failures.str();
}

TEST(AllFilters, NoSourceLeavesTheOutputAlone) {
  std::ostringstream failures;
  for (const std::string& name : BuiltinFilterNames()) {
    auto filter = CreateFilterFromXml(name.c_str(), nullptr, test::DataDir(), false,
                                      kNeedsBlock.count(name) ? kTemplateDefaults : nullptr);
    const cv::Size box(50, 40);
    filter->PrepareOutput(&box);
    filter->Process();
    const cv::Mat* out = filter->GetOutput();
    if (!out || out->size() != box || cv::countNonZero(out->reshape(1)) != 0)
      failures << name << ": output changed without a source\n";
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
      auto filter = CreateFilterFromXml(name.c_str(), nullptr, test::DataDir(), true,
                                        kNeedsBlock.count(name) ? kTemplateDefaults : nullptr);
      cv::Mat out = Render(*filter, input, nullptr);
      if (out.size() != input.size() || out.type() != CV_8UC3)
        failures << name << " on " << input.channels() << " channels\n";
    }
  EXPECT_TRUE(failures.str().empty()) << failures.str();
}

TEST(AllFilters, NamesFollowTheNamingRule) {
  for (const std::string& name : BuiltinFilterNames()) EXPECT_NE(name.find("Filter"), std::string::npos) << name;
}

}  // namespace
}  // namespace grinsnap
