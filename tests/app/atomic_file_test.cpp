#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/atomic_file.h"
#include "app_test_util.h"
#include "test_support/test_support.h"

namespace fs = std::filesystem;

namespace grinsnap {
namespace test {

bool PermissionsIgnored() { return ::geteuid() == 0; }

}  // namespace test

namespace {

using test::ReadText;
using test::WriteText;

// Files of a folder other than the expected ones: leftovers of a write.
int OtherFiles(const fs::path& folder, const fs::path& expected) {
  int count = 0;
  for (const auto& item : fs::directory_iterator(folder)) count += item.path() != expected;
  return count;
}

TEST(AtomicFile, ReplacesTheWholeFileAndKeepsItsMode) {
  const fs::path folder = test::FreshFolder("atomic-replace");
  const fs::path file = folder / "settings.ini";
  WriteText(file, "old content that is longer than the new one");
  ::chmod(file.c_str(), 0640);

  std::string error;
  ASSERT_TRUE(WriteFileAtomically(file, "new", &error)) << error;
  EXPECT_EQ(ReadText(file), "new");
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(OtherFiles(folder, file), 0);

  ASSERT_TRUE(WriteFileAtomically(folder / "fresh.txt", std::string(100000, 'x'), nullptr, 0600));
  EXPECT_EQ(fs::file_size(folder / "fresh.txt"), 100000u);
  EXPECT_EQ(fs::status(folder / "fresh.txt").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

TEST(AtomicFile, FailedWriteKeepsTheOldFileAndReportsFailure) {
  const fs::path folder = test::FreshFolder("atomic-fail");

  // The target's folder is a regular file: nothing can be created there.
  const fs::path notAFolder = folder / "plain";
  WriteText(notAFolder, "I am a file");
  std::string error;
  EXPECT_FALSE(WriteFileAtomically(notAFolder / "x.cfg", "data", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(ReadText(notAFolder), "I am a file");

  // The target is a folder: the rename fails after the data was written.
  const fs::path dirTarget = folder / "template.cfg";
  fs::create_directories(dirTarget / "inside");
  error.clear();
  EXPECT_FALSE(WriteFileAtomically(dirTarget, "data", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(fs::is_directory(dirTarget / "inside"));
  EXPECT_EQ(OtherFiles(folder, dirTarget), 1) << "only the plain file may remain beside it";

  EXPECT_FALSE(WriteFileAtomically("", "data"));
}

TEST(AtomicFile, ReadOnlyFolderKeepsTheOldFile) {
  if (test::PermissionsIgnored()) GTEST_SKIP() << "running as root: permissions do not stop writes";
  const fs::path folder = test::FreshFolder("atomic-readonly");
  const fs::path file = folder / "template.cfg";
  WriteText(file, "<old/>");
  ::chmod(folder.c_str(), 0555);
  EXPECT_FALSE(WriteFileAtomically(file, "<new/>"));
  ::chmod(folder.c_str(), 0755);
  EXPECT_EQ(ReadText(file), "<old/>");
  EXPECT_EQ(OtherFiles(folder, file), 0);
}

TEST(AtomicFile, ReadWholeFileRefusesFoldersAndMissingFiles) {
  const fs::path folder = test::FreshFolder("atomic-read");
  std::string bytes = "unchanged";
  EXPECT_FALSE(ReadWholeFile(folder, bytes));
  EXPECT_FALSE(ReadWholeFile(folder / "missing", bytes));
  EXPECT_EQ(bytes, "unchanged");
  WriteText(folder / "bin", std::string("a\0b", 3));
  ASSERT_TRUE(ReadWholeFile(folder / "bin", bytes));
  EXPECT_EQ(bytes, std::string("a\0b", 3));
}

}  // namespace
}  // namespace grinsnap
