// The inputs the fuzzers kept (tests/fuzz/corpus), run again through the
// same entry points: a change that makes any of them crash, hang or fail a
// check fails here, without a fuzzer.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include <gtest/gtest.h>

#include "fuzz/fuzz_targets.h"

namespace grinsnap {
namespace {

namespace fs = std::filesystem;

using Target = int (*)(const std::uint8_t*, std::size_t);

void Replay(const char* corpus, Target target) {
  const fs::path folder = fs::path(GRINSNAP_FUZZ_CORPUS_DIR) / corpus;
  ASSERT_TRUE(fs::is_directory(folder)) << folder;
  int inputs = 0;
  for (const auto& item : fs::directory_iterator(folder)) {
    std::ifstream in(item.path(), std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(target(bytes.data(), bytes.size()), 0) << item.path();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << item.path();
    ++inputs;
  }
  EXPECT_GT(inputs, 10) << "the corpus " << corpus << " is kept in the tests";
}

TEST(FuzzCorpus, TemplateDocuments) { Replay("template_document", fuzz::TemplateDocument); }
TEST(FuzzCorpus, IniFiles) { Replay("ini_file", fuzz::IniFile); }
TEST(FuzzCorpus, TemplateLibraryFiles) { Replay("template_library", fuzz::TemplateLibrary); }
TEST(FuzzCorpus, PhotoFiles) { Replay("photo_file", fuzz::PhotoFile); }

}  // namespace
}  // namespace grinsnap
