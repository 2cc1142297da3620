#include <gtest/gtest.h>

#include <QLabel>
#include <QtCore/qtestsupport_core.h>

#include "app/string_table.h"
#include "platform/message_target.h"
#include "platform/messages.h"
#include "app/app_test_util.h"
#include "test_support/package_site.h"
#include "test_support/qt_test_app.h"
#include "test_support/test_support.h"
#include "ui/app_context.h"
#include "ui/main_window.h"
#include "ui/message_box.h"
#include "ui/version_dialog.h"

namespace fs = std::filesystem;

namespace grinsnap {
namespace {

class VersionDialogTest : public testing::Test {
protected:
  void SetUp() override {
    test::QtApp();
    ASSERT_TRUE(server_.Running());
    app_.site.url = server_.Url();
    // The main window reads the data folder the build lays out.
    setenv("GRINSNAP_DATA_DIR", GRINSNAP_BUILT_DATA_DIR, 1);
    app_.programFolder = GRINSNAP_BUILT_DATA_DIR;
    SetApp(&app_);
  }
  void TearDown() override {
    SetApp(nullptr);
    unsetenv("GRINSNAP_DATA_DIR");
  }

  // The dialog's text once the check answered.
  QString Outcome(VersionDialog& dialog) {
    const QString checking = dialog.Text();
    dialog.StartCheck();
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.Text() != checking; }, 10000));
    return dialog.Text();
  }

  fs::path site_ = test::FreshFolder("dialog-site");
  test::PackageSite server_{site_};
  AppContext app_;
};

TEST_F(VersionDialogTest, ShowsEachOutcome) {
  test::WriteText(site_ / "newer.ini", "[Gerneral]\nversion=250\nbuild=7\n");
  test::WriteText(site_ / "same.ini", "[Gerneral]\nversion=100\nbuild=1\n");
  const struct {
    const char* path;
    std::string text;
    bool link;
  } cases[] = {
      {"/files/newer.ini",
       "A new version is available.\nVersion:2.50\nBuild:7\nPlease download it by clicking the following link and "
       "upgrade.",
       true},
      {"/files/same.ini", "\n\nCongratulations! You are currently running the latest version.", false},
      {"/files/gone.ini",
       "Error while getting version information from Grinsnap due to the following reason:\nDownload remote file " +
           server_.Url("/files/gone.ini") +
           " failed, error code: HTTP 404!\nPlease make sure your internet connection is working.",
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    app_.site.descriptorPath = c.path;
    VersionDialog dialog(app_);
    EXPECT_EQ(dialog.windowTitle(), "Check new version online...");
    EXPECT_EQ(dialog.Text(), "\n\nChecking new version of Grinsnap online, please waiting...");
    EXPECT_EQ(Outcome(dialog).toStdString(), c.text);
    EXPECT_EQ(dialog.Link()->isVisibleTo(&dialog), c.link);
    if (c.link) EXPECT_TRUE(dialog.Link()->text().contains(server_.Url("/download.html").c_str()));
  }
}

TEST_F(VersionDialogTest, StartUpAsksOnlyAboutANewerVersion) {
  test::WriteText(site_ / "version_free.ini", "[Gerneral]\nversion=999\nbuild=1\n");
  app_.site.descriptorPath = "/files/version_free.ini";
  {
    ScopedMessageRecorder messages(MessageResult::No);
    MainWindow window(app_);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.Messages().empty(); }, 10000));
    EXPECT_EQ(messages.Messages()[0].caption, "New Version Detected");
    EXPECT_TRUE(messages.Messages()[0].text.startsWith("A new version is available, it is recommended"));
    EXPECT_EQ(messages.Messages()[0].buttons, MessageButtons::YesNo);
  }
  // Up to date and failures are not shown at start-up.
  app_.site.url.clear();  // no check of its own
  ScopedMessageRecorder messages(MessageResult::No);
  MainWindow window(app_);
  ASSERT_NE(VersionResultTarget(), nullptr);
  VersionResultTarget()->Post(kMsgUpToDate, 100, 1);
  VersionResultTarget()->Post(kMsgVersionCheckFailed, 0, reinterpret_cast<LParam>(new std::string("failed")));
  VersionResultTarget()->Post(kMsgNewVersion, 250, 7);  // the marker that the others were handled
  ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.Messages().empty(); }, 10000));
  EXPECT_EQ(messages.Messages().size(), 1u);
  EXPECT_EQ(messages.Messages()[0].caption, "New Version Detected");

  // The setting turns the check off.
  app_.site.url = server_.Url();
  app_.session.updateCheckEnabled = false;
  EXPECT_EQ(StartStartupVersionCheck(app_), nullptr);
}

}  // namespace
}  // namespace grinsnap
