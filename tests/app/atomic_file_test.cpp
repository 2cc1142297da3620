#include <sys/stat.h>
#include <sys/wait.h>
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

TEST(AtomicFile, LinksAreWrittenThroughAndModesCanBeForced) {
  const fs::path folder = test::FreshFolder("atomic-link");
  WriteText(folder / "real" / "template.cfg", "<old/>");
  ::chmod((folder / "real" / "template.cfg").c_str(), 0664);
  fs::create_symlink("real/template.cfg", folder / "link.cfg");
  fs::create_symlink(folder / "link.cfg", folder / "chain.cfg");
  ASSERT_TRUE(WriteFileAtomically(folder / "chain.cfg", "<new/>"));
  EXPECT_TRUE(fs::is_symlink(folder / "chain.cfg"));
  EXPECT_TRUE(fs::is_symlink(folder / "link.cfg"));
  EXPECT_EQ(ReadText(folder / "real" / "template.cfg"), "<new/>");
  EXPECT_EQ(OtherFiles(folder / "real", folder / "real" / "template.cfg"), 0);

  ASSERT_TRUE(WriteFileAtomically(folder / "link.cfg", "<secret/>", nullptr, 0600, FileModeRule::kAlways));
  EXPECT_EQ(fs::status(folder / "real" / "template.cfg").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  // A link to a file that is not there yet creates that file.
  fs::create_symlink("real/later.cfg", folder / "dangling.cfg");
  ASSERT_TRUE(WriteFileAtomically(folder / "dangling.cfg", "x"));
  EXPECT_EQ(ReadText(folder / "real" / "later.cfg"), "x");
}

TEST(AtomicFile, TemporaryFilesOfKilledWritesAreRemoved) {
  const fs::path folder = test::FreshFolder("atomic-stale");
  // A process that is gone: a child that has exited and been reaped.
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ASSERT_GT(gone, 0);
  ::waitpid(gone, nullptr, 0);
  const std::string dead = std::to_string(gone);
  const std::string alive = std::to_string(::getppid());
  const std::pair<std::string, bool> files[] = {
      {".Grinsnap.ini.tmp" + dead + "-0", false},     // left by a killed save
      {".template.cfg.tmp" + dead + "-17", false},
      {".Grinsnap.ini.tmp" + alive + "-3", true},     // a save still running
      {".Grinsnap.ini.tmp" + dead + "-x", true},      // not our name
      {"Grinsnap.ini.tmp" + dead + "-0", true},
      {"notes.txt", true},
  };
  for (const auto& [name, kept] : files) WriteText(folder / name, "partial");
  ASSERT_TRUE(WriteFileAtomically(folder / "Grinsnap.ini", "[Grinsnap]\n"));
  for (const auto& [name, kept] : files) EXPECT_EQ(fs::exists(folder / name), kept) << name;
}

TEST(AtomicFile, WholeFileReadersRefuseWhatIsNotARegularFile) {
  const fs::path folder = test::FreshFolder("atomic-special");
  ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
  WriteText(folder / "big", std::string(kMaxDataFileBytes + 1, 'x'));
  for (const fs::path& path : {folder / "fifo", fs::path("/dev/zero"), folder / "big", folder}) {
    std::string bytes = "unchanged", error;
    EXPECT_FALSE(ReadWholeFile(path, bytes, kMaxDataFileBytes, &error)) << path;
    EXPECT_EQ(bytes, "unchanged");
    EXPECT_NE(error.find(path.string()), std::string::npos) << error;
  }
  std::string bytes;
  EXPECT_TRUE(ReadWholeFile(folder / "big", bytes, kMaxDataFileBytes + 1));
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
