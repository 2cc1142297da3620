#include <gtest/gtest.h>

#include "app/string_table.h"
#include "app/version_check.h"
#include "app_test_util.h"
#include "platform/message_target.h"
#include "platform/messages.h"
#include "test_support/package_site.h"
#include "test_support/test_support.h"

namespace fs = std::filesystem;

namespace grinsnap {
namespace {

VersionCheckTexts BuiltinTexts() {
  return {BuiltinString(kIdsVersionCheckError), BuiltinString(kIdsDownloadHttpError)};
}

TEST(VersionCheck, OutcomesAgainstTheSite) {
  const fs::path site = test::FreshFolder("version-site");
  test::PackageSite server(site);
  ASSERT_TRUE(server.Running());
  test::WriteText(site / "v242.ini", "[Gerneral]\nversion=242\nbuild=3\n");
  test::WriteText(site / "v250.ini", "[Gerneral]\r\nversion=250\r\nbuild=7\r\n");
  test::WriteText(site / "other.ini", "[General]\nversion=999\n");
  const fs::path copy = test::FreshFolder("version-copy") / "Velmora" / "Grinsnap" / "version.ini";
  const std::string missing = server.Url("/files/none.ini");
  const struct {
    const char* descriptor;
    int program;
    std::uint32_t message;
    int version, build;
    std::string error;
  } cases[] = {
      {"/files/v242.ini", 242, kMsgUpToDate, 242, 3, ""},
      {"/files/v242.ini", 241, kMsgNewVersion, 242, 3, ""},
      {"/files/v250.ini", 102, kMsgNewVersion, 250, 7, ""},
      {"/files/other.ini", 102, kMsgUpToDate, 0, 0, ""},  // no "Gerneral" section
      {"/files/none.ini", 102, kMsgVersionCheckFailed, 0, 0,
       "Error while getting version information from Grinsnap due to the following reason:\nDownload remote file " +
           missing + " failed, error code: HTTP 404!\nPlease make sure your internet connection is working."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.descriptor);
    SiteConfig config;
    config.url = server.Url();
    config.descriptorPath = c.descriptor;
    const VersionCheck check(config, copy, c.program, BuiltinTexts());
    const VersionCheck::Outcome outcome = check.Run();
    EXPECT_EQ(outcome.message, c.message);
    EXPECT_EQ(outcome.version, c.version);
    EXPECT_EQ(outcome.build, c.build);
    EXPECT_EQ(outcome.error, c.error);
  }
  // The copy is what the last good fetch brought, and nothing else is left.
  EXPECT_EQ(test::ReadText(copy), "[General]\nversion=999\n");
  std::vector<fs::path> files;
  for (const auto& item : fs::directory_iterator(copy.parent_path())) files.push_back(item.path());
  EXPECT_EQ(files, std::vector<fs::path>{copy});
}

TEST(VersionCheck, ResultsGoToTheTargetOfTheMoment) {
  const fs::path site = test::FreshFolder("version-post");
  test::PackageSite server(site);
  ASSERT_TRUE(server.Running());
  test::WriteText(site / "version_free.ini", "[Gerneral]\nversion=250\nbuild=7\n");
  SiteConfig config;
  config.url = server.Url();
  config.descriptorPath = "/files/version_free.ini";
  const fs::path copy = test::FreshFolder("version-post-copy") / "version.ini";

  RecordingMessageTarget target;
  SetVersionResultTarget(&target);
  {
    VersionCheck check(config, copy, 102, BuiltinTexts());
    check.Start();
    ASSERT_TRUE(target.WaitFor(kMsgNewVersion, 10000));
  }
  EXPECT_EQ(target.Messages(), (std::vector<RecordedMessage>{{kMsgNewVersion, 250, 7, false}}));

  // A failure carries its text for the receiver to free.
  target.Clear();
  config.descriptorPath = "/missing.ini";
  {
    VersionCheck check(config, copy, 102, BuiltinTexts());
    check.Start();
    ASSERT_TRUE(target.WaitFor(kMsgVersionCheckFailed, 10000));
  }
  std::unique_ptr<std::string> text(reinterpret_cast<std::string*>(target.Messages()[0].lParam));
  EXPECT_NE(text->find("HTTP 404"), std::string::npos);

  // Without a target the result is dropped.
  target.Clear();
  SetVersionResultTarget(nullptr);
  config.descriptorPath = "/files/version_free.ini";
  {
    VersionCheck check(config, copy, 102, BuiltinTexts());
    check.Start();
  }
  EXPECT_TRUE(target.Messages().empty());
}

TEST(VersionCheck, FormatsTheNewVersion) {
  EXPECT_EQ(FormatText(BuiltinString(kIdsNewVersionDetails), {"2", "5", "7"}),
            "A new version is available.\nVersion:2.05\nBuild:7\nPlease download it by clicking the following link "
            "and upgrade.");
  EXPECT_EQ(FormatText("%02d|%02d|%02d", {"50", "123", ""}), "50|123|00");
}

}  // namespace
}  // namespace grinsnap
