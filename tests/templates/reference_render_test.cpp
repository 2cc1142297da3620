// Every shipped template against its committed reference picture.
#include <cstdlib>
#include <sstream>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "core/photo_item.h"
#include "core/render.h"
#include "core/template_document.h"
#include "test_support/test_support.h"

namespace grinsnap {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kSeed = 7;
const cv::Size kBox(320, 240);
// The photos each template gets, in this order: one for most templates,
// the others for those that take several.
const char* const kPhotos[] = {"astronaut.png", "coffee.png", "chelsea.png", "rocket.jpg"};

fs::path ReferenceDir() { return test::DataDir() / "reference"; }

// data/templates/2d/sepia.xml is kept as 2d_sepia.png.
fs::path ReferenceFor(const fs::path& document) {
  std::string name = document.lexically_relative(test::ShippedDataDir() / "templates").replace_extension().string();
  for (char& c : name)
    if (c == '/') c = '_';
  return ReferenceDir() / (name + ".png");
}

// The template on the sample photos at the preview box, with a fixed seed;
// empty with the reason in why when it does not render.
cv::Mat RenderDocument(const fs::path& path, std::string& why) {
  std::string error;
  auto document = TemplateDocument::FromFile(path, &error);
  if (!document) {
    why = "does not parse: " + error;
    return {};
  }
  TemplateRef effect(CreateTemplateFromDocument(document, path.parent_path()));
  if (!effect) {
    why = "cannot be created";
    return {};
  }
  std::vector<PhotoItem> photos;
  for (const char* photo : kPhotos) photos.emplace_back(test::DataDir() / "photos" / photo);
  const RenderResult result =
      Render(*effect, {.photos = photos, .size = OutputSize::Fit(kBox), .seed = kSeed});
  const cv::Mat* output = effect->GetOutput();
  if (!result.IsFinished() || !output || output->empty()) {
    why = result.IsFinished() ? "gives no picture" : "did not finish: " + result.message;
    return {};
  }
  return output->clone();
}

// Refreshing the references is done on purpose only, by
// scripts/refresh-references.sh, which sets this variable.
bool WritingReferences() { return std::getenv("GRINSNAP_WRITE_REFERENCES") != nullptr; }

TEST(ReferenceRenders, EveryShippedTemplateMatchesItsReferenceOnOneAndTwoThreads) {
  const auto documents = test::ShippedTemplateDocuments();
  ASSERT_FALSE(documents.empty());
  std::ostringstream failures;
  for (const fs::path& path : documents) {
    const std::string label = path.lexically_relative(test::ShippedDataDir()).string();
    const fs::path referencePath = ReferenceFor(path);
    if (WritingReferences()) {
      std::string why;
      test::SetOpenCvThreads(1);
      const cv::Mat picture = RenderDocument(path, why);
      test::SetOpenCvThreads(-1);
      if (picture.empty() || !cv::imwrite(referencePath.string(), picture))
        failures << label << ": no reference written " << why << "\n";
      continue;
    }
    const cv::Mat reference = cv::imread(referencePath.string(), cv::IMREAD_COLOR);
    if (reference.empty()) {
      failures << label << ": no reference " << referencePath.filename().string()
               << " (run scripts/refresh-references.sh and look at it)\n";
      continue;
    }
    for (int threads : {1, 2}) {
      std::string why;
      test::SetOpenCvThreads(threads);
      const cv::Mat picture = RenderDocument(path, why);
      test::SetOpenCvThreads(-1);
      const std::string run = label + " on " + std::to_string(threads) + " thread(s)";
      if (picture.empty()) {
        failures << run << ": " << why << "\n";
      } else if (picture.size() != reference.size()) {
        failures << run << ": " << picture.size() << " against the reference's " << reference.size() << "\n";
      } else if (const double worst = cv::norm(picture, reference, cv::NORM_INF); worst > 1) {
        failures << run << ": differs by up to " << worst << " (written to "
                 << test::WriteTestOutput(picture, referencePath.stem().string()) << ")\n";
      }
    }
  }
  EXPECT_TRUE(failures.str().empty()) << failures.str();
}

}  // namespace
}  // namespace grinsnap
