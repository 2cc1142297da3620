#include <sys/stat.h>

#include <gtest/gtest.h>

#include "app/template_package.h"
#include "app_test_util.h"
#include "test_support/package_site.h"
#include "test_support/test_support.h"

namespace fs = std::filesystem;

namespace grinsnap {
namespace {

using test::ReadText;
using test::TestPackages;
using test::WriteText;

// Every file and folder below root, as paths relative to it.
std::vector<std::string> Tree(const fs::path& root) {
  std::vector<std::string> names;
  for (const auto& item : fs::recursive_directory_iterator(root))
    names.push_back(item.path().lexically_relative(root).generic_string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(TemplatePackage, EntryNames) {
  const struct {
    const char* name;
    bool ok;
  } cases[] = {
      {"frost/frost.tmpl", true},   {"frost/", true},          {"./frost/a.png", true},
      {"a..b/c.tmpl", true},        {"...", true},             {"", false},
      {"/etc/passwd", false},       {"../x", false},           {"a/../../x", false},
      {"a/..", false},              {"a\\b", false},           {"..\\x", false},
      {"C:/x", false},              {"c:x", false},            {"a//b", false},
      {"a/./b", false},             {"a/\x01", false},         {"a/b\nc", false},
  };
  for (const auto& c : cases) EXPECT_EQ(EntryNameProblem(c.name).empty(), c.ok) << '"' << c.name << '"';
}

TEST(TemplatePackage, TemplateFilePaths) {
  EXPECT_EQ(TemplateFilePathFromEntryName("frost/frost.tmpl"), ".\\frost\\frost.tmpl");
  EXPECT_EQ(TemplateFilePathFromEntryName("./ember/ember.tmpl"), ".\\ember\\ember.tmpl");
  EXPECT_EQ(TemplateFilePathFromEntryName("top.tmpl"), ".\\top.tmpl");
}

TEST(TemplatePackage, GoodPackagesInstallWhole) {
  ASSERT_FALSE(TestPackages().empty());
  const fs::path dir = test::FreshFolder("install-good");
  WriteText(dir / "template.cfg", "<library/>");
  InstallResult result = InstallPackage(TestPackages() / "frost.zip", dir);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.filePath, ".\\frost\\frost.tmpl");
  EXPECT_EQ(Tree(dir), (std::vector<std::string>{"frost", "frost/frost.tmpl", "frost/res", "frost/res/grain.txt",
                                                  "frost/thumb.jpg", "template.cfg"}));
  EXPECT_EQ(ReadText(dir / "frost/res/grain.txt").size(), 500u);
  EXPECT_NE(ReadText(dir / "frost/frost.tmpl").find("name=\"Frost\""), std::string::npos);
  struct stat st {};
  ASSERT_EQ(stat((dir / "frost/frost.tmpl").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);

  // A second install replaces the folder whole: files of the old one go.
  WriteText(dir / "frost/stale.txt", "old");
  result = InstallPackage(TestPackages() / "frost.zip", dir);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_FALSE(fs::exists(dir / "frost/stale.txt"));

  // A leading "./" is dropped; the other templates stay.
  result = InstallPackage(TestPackages() / "ember.zip", dir);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.filePath, ".\\ember\\ember.tmpl");
  EXPECT_TRUE(fs::exists(dir / "frost/frost.tmpl"));
  EXPECT_EQ(ReadText(dir / "ember/readme.txt").size(), 200000u);
}

TEST(TemplatePackage, HostilePackagesWriteNothing) {
  ASSERT_FALSE(TestPackages().empty());
  const struct {
    const char* package;
    const char* reason;  // part of the error
  } cases[] = {
      {"slip_parent.zip", "\"..\""},
      {"slip_leading_parent.zip", "\"..\""},
      {"slip_absolute.zip", "absolute"},
      {"slip_backslash.zip", "backslash"},
      {"slip_drive.zip", "drive letter"},
      {"symlink.zip", "symbolic link"},
      {"symlink_alone.zip", "symbolic link"},
      {"duplicate.zip", "already exists"},  // the archive reader refuses it
      {"duplicate_dot.zip", "twice"},
      {"bomb.zip", "beyond"},                     // declares too much: refused before writing
      {"bomb_lying.zip", "more data than it declares"},
      {"many_entries.zip", "more than the 4096"},
      {"no_tmpl.zip", "no template document"},
      {"truncated.zip", "not a readable zip archive"},
      {"not_a_zip.zip", "not a readable zip archive"},
      {"damaged.zip", "ember/readme.txt"},
      {"replaces_list.zip", "template.cfg"},
      {"replaces_thumbs.zip", "thumbs"},
      {"missing.zip", "not a readable zip archive"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.package);
    // The template directory sits in a sandbox: nothing may appear beside it,
    // and the directory keeps only what it had.
    const fs::path sandbox = test::FreshFolder(std::string("hostile-") + c.package);
    const fs::path dir = sandbox / "a" / "b" / "templates";
    WriteText(dir / "template.cfg", "<library/>");
    const InstallResult result = InstallPackage(TestPackages() / c.package, dir, UnpackLimits{});
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find(c.reason), std::string::npos) << result.error;
    EXPECT_TRUE(result.filePath.empty());
    EXPECT_EQ(Tree(sandbox), (std::vector<std::string>{"a", "a/b", "a/b/templates", "a/b/templates/template.cfg"}));
  }
  EXPECT_FALSE(fs::exists("/tmp/grinsnap_escaped.txt"));
}

TEST(TemplatePackage, LimitsAndCancellation) {
  ASSERT_FALSE(TestPackages().empty());
  const fs::path dir = test::FreshFolder("limits");
  // ember unpacks to about 200 kB in two entries.
  EXPECT_FALSE(InstallPackage(TestPackages() / "ember.zip", dir, {.maxEntries = 1}).ok);
  EXPECT_FALSE(InstallPackage(TestPackages() / "ember.zip", dir, {.maxTotalBytes = 100000}).ok);
  EXPECT_TRUE(InstallPackage(TestPackages() / "ember.zip", dir, {.maxEntries = 2, .maxTotalBytes = 200400}).ok);
  fs::remove_all(dir / "ember");
  const std::atomic<bool> cancel{true};
  const InstallResult cancelled = InstallPackage(TestPackages() / "ember.zip", dir, {}, &cancel);
  EXPECT_FALSE(cancelled.ok);
  EXPECT_EQ(cancelled.error, "cancelled");
  EXPECT_TRUE(Tree(dir).empty());
}

TEST(TemplatePackage, PackedFolderInstallsAsDownloaded) {
  const fs::path work = test::FreshFolder("pack");
  const fs::path folder = work / "Winter Frost";
  WriteText(folder / "winter.xml", "<effect><template name=\"Winter Frost\"/></effect>");
  WriteText(folder / "textures" / "ice.png", "png bytes");
  WriteText(folder / "thumb.jpg", "jpg bytes");
  std::string error;
  ASSERT_TRUE(PackTemplateFolder(folder, work / "winter.zip", &error)) << error;
  EXPECT_FALSE(fs::exists(work / "winter.zip.part"));

  const fs::path dir = work / "templates";
  const InstallResult installed = InstallPackage(work / "winter.zip", dir);
  ASSERT_TRUE(installed.ok) << installed.error;
  EXPECT_EQ(installed.filePath, ".\\Winter Frost\\winter.tmpl");
  EXPECT_EQ(ReadText(dir / "Winter Frost/winter.tmpl"), ReadText(folder / "winter.xml"));
  EXPECT_EQ(ReadText(dir / "Winter Frost/textures/ice.png"), "png bytes");

  // Folders a package cannot be made of.
  const fs::path two = work / "two";
  WriteText(two / "a.tmpl", "<effect/>");
  WriteText(two / "b.xml", "<effect/>");
  EXPECT_FALSE(PackTemplateFolder(two, work / "two.zip", &error));
  EXPECT_NE(error.find("more than one"), std::string::npos) << error;
  const fs::path none = work / "none";
  WriteText(none / "readme.txt", "text");
  EXPECT_FALSE(PackTemplateFolder(none, work / "none.zip", &error));
  const fs::path linked = work / "linked";
  WriteText(linked / "a.tmpl", "<effect/>");
  fs::create_symlink("/etc/passwd", linked / "passwd");
  EXPECT_FALSE(PackTemplateFolder(linked, work / "linked.zip", &error));
  EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(work / "two.zip") || fs::exists(work / "none.zip") || fs::exists(work / "linked.zip"));
}

}  // namespace
}  // namespace grinsnap
