// Shipped templates reach users who already have a library only when the
// program version grows: every change to data/templates needs a new version.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

#include "platform/version.h"
#include "test_support/test_support.h"

namespace grinsnap {
namespace {

namespace fs = std::filesystem;

// The versions that shipped and the templates each shipped, one line each:
// "<version number> <fingerprint>".
fs::path RecordFile() { return test::DataDir() / "shipped_templates.txt"; }

// FNV-1a over every file below data/templates: its path, then its bytes.
std::string Fingerprint() {
  std::vector<fs::path> files;
  const fs::path root = test::ShippedDataDir() / "templates";
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (entry.is_regular_file()) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  std::uint64_t hash = 1469598103934665603ull;
  auto mix = [&hash](unsigned char c) { hash = (hash ^ c) * 1099511628211ull; };
  for (const fs::path& file : files) {
    for (char c : file.lexically_relative(root).generic_string()) mix(static_cast<unsigned char>(c));
    mix(0);
    std::ifstream in(file, std::ios::binary);
    for (std::istreambuf_iterator<char> it(in), end; it != end; ++it) mix(static_cast<unsigned char>(*it));
    mix(0);
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

std::map<int, std::string> Recorded() {
  std::map<int, std::string> recorded;
  std::ifstream in(RecordFile());
  int version = 0;
  std::string fingerprint;
  while (in >> version >> fingerprint) recorded[version] = fingerprint;
  return recorded;
}

TEST(ShippedTemplates, EveryChangeComesWithANewProgramVersion) {
  const std::string now = Fingerprint();
  std::map<int, std::string> recorded = Recorded();
  const auto current = recorded.find(kProgramVersionNumber);
  // scripts/record-shipped-templates.sh sets this to record a new version.
  if (std::getenv("GRINSNAP_RECORD_SHIPPED_TEMPLATES")) {
    ASSERT_TRUE(current == recorded.end() || current->second == now)
        << "version " << kProgramVersionNumber << " already shipped other templates: raise project(VERSION ...)";
    if (current == recorded.end()) std::ofstream(RecordFile(), std::ios::app) << kProgramVersionNumber << " " << now << "\n";
    return;
  }
  ASSERT_FALSE(recorded.empty()) << RecordFile() << " is missing";
  EXPECT_GE(kProgramVersionNumber, recorded.rbegin()->first) << "the program version went back";
  ASSERT_NE(current, recorded.end())
      << "version " << kProgramVersionNumber << " is not recorded: run scripts/record-shipped-templates.sh";
  EXPECT_EQ(current->second, now)
      << "data/templates changed but the program version did not grow: raise project(VERSION ...) in "
         "CMakeLists.txt and run scripts/record-shipped-templates.sh";
}

}  // namespace
}  // namespace grinsnap
