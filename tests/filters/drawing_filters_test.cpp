// The drawing and painting filters as templates drive them: their documents,
// seeds, extreme variables and missing pictures.
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include "core/render.h"
#include "filters/drawing/register_drawing.h"
#include "filters/filter_factory.h"
#include "test_support/test_support.h"

namespace grinsnap {
namespace {

// A filter made from a document fragment, resolving files against folder.
struct Made {
  tinyxml2::XMLDocument doc;
  std::unique_ptr<CImageFilter> filter;

  Made(const char* xml, const std::filesystem::path& folder = test::ShippedDataDir() / "templates" / "2d") {
    EXPECT_EQ(doc.Parse(xml), tinyxml2::XML_SUCCESS) << xml;
    const tinyxml2::XMLElement* root = doc.RootElement();
    filter = CreateFilterFromXml(root->Attribute("name"), root, folder, false, nullptr);
  }
};

RenderResult RenderWith(CImageFilter& filter, const cv::Mat& photo, cv::Size box, std::uint32_t seed) {
  return Render(filter, {.sources = std::span<const cv::Mat>(&photo, 1), .size = OutputSize::Fit(box), .seed = seed});
}

cv::Mat Rendered(CImageFilter& filter, const cv::Mat& photo, cv::Size box, std::uint32_t seed) {
  const RenderResult result = RenderWith(filter, photo, box, seed);
  return result.IsFinished() && filter.GetOutput() ? filter.GetOutput()->clone() : cv::Mat();
}

bool Same(const cv::Mat& a, const cv::Mat& b) {
  return !a.empty() && a.size() == b.size() && cv::norm(a, b, cv::NORM_INF) == 0;
}

TEST(DrawingFilters, DocumentVariantsRepeatTheirSeedOnAnyThreadCount) {
  // The variants the filters take only from their documents: the seeded
  // ones change with the seed, the others never.
  const struct {
    const char* xml;
    bool seeded;
  } cases[] = {
      {"<filter name=\"StrokeSketchFilter\"><param inktype=\"2\" image=\"0.8\" paper=\"textures/paper_cold_press.png\""
       " stroke=\"textures/stroke_dry_brush.png\"/><filter name=\"WaterPaintFilter\" type=\"1\"/></filter>",
       true},
      {"<filter name=\"StrokeSketchFilter\"><param inktype=\"0\"/><filter name=\"OilPaintFilter\"/></filter>", true},
      {"<filter name=\"PaintFilter\" type=\"1\"><param tex=\"textures/brush_round.png\"/></filter>", true},
      {"<filter name=\"WaterPaintFilter\" type=\"1\"/>", false},
  };
  const cv::Mat photo = test::SamplePhoto("chelsea.png");
  for (const auto& c : cases) {
    Made made(c.xml);
    ASSERT_TRUE(made.filter) << c.xml;
    test::SetOpenCvThreads(2);
    const cv::Mat first = Rendered(*made.filter, photo, {200, 150}, 11);
    test::SetOpenCvThreads(1);
    const cv::Mat second = Rendered(*made.filter, photo, {200, 150}, 11);
    test::SetOpenCvThreads(-1);
    const cv::Mat other = Rendered(*made.filter, photo, {200, 150}, 12);
    EXPECT_TRUE(Same(first, second)) << c.xml;
    EXPECT_EQ(!Same(first, other), c.seeded) << c.xml;
  }
}

TEST(DrawingFilters, AFlatPictureStaysFlatAndABlankPageStaysBlank) {
  // Dabs of one grey mixed with that grey are that grey, and diffusion has
  // no step to work on: these give the picture back exactly. The drawings
  // put no ink on a white page, and the texture painter keeps a flat colour
  // on average (its canvas and relief show).
  const cv::Mat grey = test::Flat(90, 60, cv::Vec3b::all(140));
  const cv::Mat white = test::Flat(90, 60, cv::Vec3b::all(255));
  const struct {
    const char* name;
    const cv::Mat& input;
    double meanShift;  // 0: the picture itself
    int darkest;       // no pixel below this
  } cases[] = {
      {"WaxPenFilter", grey, 0, 140},       {"HardPastelFilter", grey, 0, 140}, {"OilPaintFilter", grey, 0, 140},
      {"WaterPaintFilter", grey, 0, 140},   {"PaintFilter", grey, 8, 60},       {"StrokeSketchFilter", white, 20, 200},
      {"CarbonDrawFilter", white, 20, 200}, {"EdgeFilter", white, 0, 255},      {"CartoonFilter", white, 1, 254},
  };
  for (const auto& c : cases) {
    auto filter = CreateFilterFromXml(c.name, nullptr, {}, false, nullptr);
    const cv::Mat out = Rendered(*filter, c.input, c.input.size(), 5);
    ASSERT_EQ(out.size(), c.input.size()) << c.name;
    if (c.meanShift == 0) {
      EXPECT_EQ(cv::norm(out, c.input, cv::NORM_INF), 0) << c.name;
    }
    EXPECT_LE(std::fabs(cv::mean(out)[1] - cv::mean(c.input)[1]), c.meanShift) << c.name;
    double darkest = 0;
    cv::minMaxLoc(out.reshape(1), &darkest);
    EXPECT_GE(darkest, c.darkest) << c.name;
  }
}

TEST(DrawingFilters, ExtremeVariablesGiveAPicture) {
  // Whatever a document or a slider puts in the block: no crash, no hang,
  // a picture of the size asked for.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float blocks[][3] = {{0, 0, 0}, {-5, -5, -5}, {1e30f, 1e30f, 1e30f}, {-1e30f, -1e30f, -1e30f}, {nan, nan, nan}};
  const cv::Mat photo = test::SamplePhoto("coffee.png");
  std::ostringstream failures;
  for (const ClassEntry& entry : DrawingFilterClasses()) {
    auto filter = CreateFilterFromXml(entry.name, nullptr, {}, false, nullptr);
    for (const auto& values : blocks) {
      std::array<float, kVariableBlockSize> block = kDefaultVariableBlock;
      std::copy(values, values + 3, block.begin());
      filter->SetVariables(block);
      const cv::Mat out = Rendered(*filter, photo, {96, 64}, 3);
      if (out.size() != cv::Size(96, 64) || out.type() != CV_8UC3)
        failures << entry.name << " with " << values[0] << ": no picture\n";
    }
  }
  EXPECT_TRUE(failures.str().empty()) << failures.str();
}

TEST(DrawingFilters, AMissingOrUnreadablePictureFailsTheRenderWithItsPath) {
  const std::filesystem::path folder = test::FreshFolder("drawing-assets");
  std::ofstream(folder / "broken.png") << "not a picture";
  const char* const documents[] = {
      "<filter name=\"WoodPrintFilter\"><param foreground=\"nowhere.png\" background=\"broken.png\"/></filter>",
      "<filter name=\"StrokeSketchFilter\"><param paper=\"broken.png\"/></filter>",
      "<filter name=\"StrokeSketchFilter\"><param stroke=\"nowhere.png\"/></filter>",
      "<filter name=\"PaintFilter\"><param tex=\"nowhere.png\"/><param tex=\"broken.png\"/></filter>",
  };
  const cv::Mat photo = test::SamplePhoto("coffee.png");
  for (const char* xml : documents) {
    Made made(xml, folder);
    const RenderResult result = RenderWith(*made.filter, photo, {60, 40}, 1);
    EXPECT_TRUE(result.IsFailed()) << xml;
    EXPECT_NE(result.message.find(folder.string()), std::string::npos) << result.message;
  }
}

TEST(DrawingFilters, TypesPickTheKernelAndUnknownTypesDrawNothing) {
  const cv::Mat photo = test::SamplePhoto("coffee.png");
  const struct {
    const char* xml;
    bool draws;
  } cases[] = {
      {"<filter name=\"WaterPaintFilter\" type=\"0\"/>", true},
      {"<filter name=\"WaterPaintFilter\" type=\"1\"/>", true},
      {"<filter name=\"WaterPaintFilter\" type=\"2\"/>", false},
      {"<filter name=\"PaintFilter\" type=\"0\"/>", true},
      {"<filter name=\"PaintFilter\" type=\"-1\"/>", false},
  };
  for (const auto& c : cases) {
    Made made(c.xml);
    const cv::Mat out = Rendered(*made.filter, photo, {80, 60}, 1);
    ASSERT_FALSE(out.empty()) << c.xml;
    EXPECT_EQ(cv::countNonZero(out.reshape(1)) > 0, c.draws) << c.xml;
  }
  // The watercolour reads its type at every run.
  Made water("<filter name=\"WaterPaintFilter\" type=\"0\"/>");
  const cv::Mat diffused = Rendered(*water.filter, photo, {80, 60}, 1);
  water.doc.RootElement()->SetAttribute("type", 1);
  EXPECT_FALSE(Same(Rendered(*water.filter, photo, {80, 60}, 1), diffused));
}

TEST(DrawingFilters, BackgroundRunsAndTheNestedFilter) {
  const struct {
    const char* xml;
    bool background;
  } cases[] = {
      {"<filter name=\"StrokeSketchFilter\"/>", true},        {"<filter name=\"PaintFilter\"/>", true},
      {"<filter name=\"WaxPenFilter\"/>", false},             {"<filter name=\"WaxPenFilter\"><param delay=\"1\"/></filter>", true},
      {"<filter name=\"WaterPaintFilter\"><param delay=\"1\"/></filter>", true},
      {"<filter name=\"WaterPaintFilter\" delay=\"1\"/>", false}, {"<filter name=\"SketchFilter\"/>", false},
  };
  for (const auto& c : cases) EXPECT_EQ(Made(c.xml).filter->RunsInBackground(), c.background) << c.xml;

  // The ink drawing's nested filter stops, clears and takes seeds with it.
  Made ink("<filter name=\"StrokeSketchFilter\"><filter name=\"WaxPenFilter\"/></filter>");
  CImageFilter* nested = nullptr;
  ink.filter->ForEachNested([&](CImageFilter& f) { nested = &f; });
  ASSERT_TRUE(nested);
  ink.filter->Abort();
  EXPECT_TRUE(nested->AbortRequested());
  ink.filter->ClearAbort();
  EXPECT_FALSE(nested->AbortRequested());
  ink.filter->SetSeed(77);
  EXPECT_EQ(nested->Seed(), 77u);
}

}  // namespace
}  // namespace grinsnap
