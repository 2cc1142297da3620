#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <opencv2/core/utility.hpp>
#include <unistd.h>

#include "templates/builtin_classes.h"
#include "core/registry.h"
#include "test_support/gate_filter.h"
#include "test_support/test_support.h"

namespace fs = std::filesystem;

// Every test run gets its own home: HOME and the XDG folders point into a
// temporary folder, so no test touches the user's files.
int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  fs::path home = fs::temp_directory_path() / ("grinsnap-test-" + std::to_string(::getpid()));
  fs::remove_all(home);
  fs::create_directories(home);
  setenv("HOME", home.c_str(), 1);
  setenv("XDG_DATA_HOME", (home / ".local/share").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
  setenv("XDG_DOCUMENTS_DIR", (home / "Documents").c_str(), 1);
  fs::create_directories(home / "runtime");
  fs::permissions(home / "runtime", fs::perms::owner_all);
  setenv("XDG_RUNTIME_DIR", (home / "runtime").c_str(), 1);
  unsetenv("GRINSNAP_DATA_DIR");
  grinsnap::test::SetOpenCvThreads(cv::getNumThreads());
  grinsnap::RegisterBuiltinClasses();
  grinsnap::test::RememberBuiltinClassNames(grinsnap::RegisteredClassNames());
  grinsnap::test::RegisterTestClasses();
  const int result = RUN_ALL_TESTS();
  std::error_code ec;
  fs::remove_all(home, ec);
  return result;
}
