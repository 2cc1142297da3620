#pragma once

#include <array>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "core/variable_block.h"

namespace grinsnap::test {

// Folder of the shipped test data (sample photos, fixtures).
std::filesystem::path DataDir();

// A sample photo from tests/data/photos as 8-bit BGR; fails the test when missing.
cv::Mat SamplePhoto(const std::string& name);

// The temporary home folder of this test run (HOME and XDG point into it).
std::filesystem::path TempHome();

// A fresh, empty folder below the temporary home.
std::filesystem::path FreshFolder(const std::string& name);

// Writes an image to the test output folder so that a failure can be looked
// at; returns the path written.
std::filesystem::path WriteTestOutput(const cv::Mat& image, const std::string& name);

// The class names registered by RegisterBuiltinClasses(), before any test
// registered classes of its own.
const std::vector<std::string>& BuiltinClassNames();
void RememberBuiltinClassNames(std::vector<std::string> names);

// Sets the number of threads OpenCV's parallel loops use. Under
// ThreadSanitizer every loop stays on the calling thread: TBB, which runs
// them, is not instrumented and would drown real reports in false ones.
void SetOpenCvThreads(int threads);
bool UnderThreadSanitizer();

// A flat image of one colour.
cv::Mat Flat(int width, int height, cv::Vec3b bgr);

}  // namespace grinsnap::test

namespace grinsnap::test {

// A template's default variable block with its first entries (the three
// variables) replaced by these values.
std::array<float, kVariableBlockSize> BlockWith(std::initializer_list<float> variables);

// The data folder the program ships (data/ of the source tree).
std::filesystem::path ShippedDataDir();

// Every template document the program ships, sorted by path.
std::vector<std::filesystem::path> ShippedTemplateDocuments();

}  // namespace grinsnap::test
