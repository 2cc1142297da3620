#include "test_support/test_support.h"

#include <algorithm>
#include <cstdlib>

#include <gtest/gtest.h>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgcodecs.hpp>

namespace fs = std::filesystem;

namespace grinsnap::test {

fs::path DataDir() { return GRINSNAP_TEST_DATA_DIR; }

cv::Mat SamplePhoto(const std::string& name) {
  cv::Mat image = cv::imread((DataDir() / "photos" / name).string(), cv::IMREAD_COLOR);
  EXPECT_FALSE(image.empty()) << "missing sample photo " << name;
  return image;
}

fs::path TempHome() {
  const char* home = std::getenv("HOME");
  return home ? fs::path(home) : fs::temp_directory_path();
}

fs::path FreshFolder(const std::string& name) {
  fs::path folder = TempHome() / "scratch" / name;
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

fs::path WriteTestOutput(const cv::Mat& image, const std::string& name) {
  const char* dir = std::getenv("GTEST_OUTPUT_DIR");
  fs::path folder = dir ? fs::path(dir) : fs::temp_directory_path() / "grinsnap-test-output";
  fs::create_directories(folder);
  fs::path path = folder / (name + ".png");
  if (!image.empty()) cv::imwrite(path.string(), image);
  return path;
}

namespace {
std::vector<std::string>& BuiltinNames() {
  static std::vector<std::string> names;
  return names;
}
}  // namespace

const std::vector<std::string>& BuiltinClassNames() { return BuiltinNames(); }
void RememberBuiltinClassNames(std::vector<std::string> names) { BuiltinNames() = std::move(names); }

bool UnderThreadSanitizer() {
#if defined(__SANITIZE_THREAD__)
  return true;
#else
  return false;
#endif
}

void SetOpenCvThreads(int threads) { cv::setNumThreads(UnderThreadSanitizer() ? 1 : threads); }

cv::Mat Flat(int width, int height, cv::Vec3b bgr) { return cv::Mat(height, width, CV_8UC3, cv::Scalar(bgr[0], bgr[1], bgr[2])); }

}  // namespace grinsnap::test

namespace grinsnap::test {

std::array<float, kVariableBlockSize> BlockWith(std::initializer_list<float> variables) {
  std::array<float, kVariableBlockSize> block = kDefaultVariableBlock;
  std::copy_n(variables.begin(), std::min<std::size_t>(variables.size(), 3), block.begin());
  return block;
}

std::filesystem::path ShippedDataDir() { return GRINSNAP_SHIPPED_DATA_DIR; }

std::vector<std::filesystem::path> ShippedTemplateDocuments() {
  std::vector<std::filesystem::path> documents;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(ShippedDataDir() / "templates")) {
    const std::string ext = entry.path().extension().string();
    if (entry.is_regular_file() && (ext == ".xml" || ext == ".tmpl")) documents.push_back(entry.path());
  }
  std::sort(documents.begin(), documents.end());
  return documents;
}

}  // namespace grinsnap::test
