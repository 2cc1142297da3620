#include "ui/export_progress_dialog.h"

#include <semaphore>

#include "export_test_util.h"

namespace grinsnap {
namespace {

class ProgressDialogTest : public ::testing::Test {
protected:
  void SetUp() override {
    test::QtApp();
    SetApp(&app_);
  }
  void TearDown() override { SetApp(nullptr); }
  AppContext app_;
};

TEST_F(ProgressDialogTest, ShowsEachReportAndClosesWhenTheWorkerEnds) {
  ExportProgressDialog dialog;
  EXPECT_EQ(dialog.Position(), 0);
  EXPECT_EQ(dialog.PercentText(), "0%");

  std::binary_semaphore reported(0), proceed(0);
  int shownWhileRunning = -1;
  QString textWhileRunning;
  bool refusedToClose = false;
  dialog.Start([&](MessageTarget* progress) {
    progress->Post(kMsgGifProgress, 37, 0);
    reported.release();
    proceed.acquire();
    progress->Post(kMsgGifProgress, 250, 0);  // out of range: the bar holds at its end
    return true;
  });
  test::OnModal<ExportProgressDialog>([&](ExportProgressDialog* shown) {
    reported.acquire();
    QApplication::processEvents();  // the report posted before the release
    shownWhileRunning = shown->Position();
    textWhileRunning = shown->PercentText();
    shown->reject();
    refusedToClose = shown->isVisible() && shown->Running();
    proceed.release();
  });
  EXPECT_EQ(dialog.exec(), QDialog::Accepted);

  EXPECT_EQ(shownWhileRunning, 37);
  EXPECT_EQ(textWhileRunning, "37%");
  EXPECT_TRUE(refusedToClose);
  EXPECT_FALSE(dialog.Running());
  EXPECT_TRUE(dialog.Result());
  EXPECT_EQ(dialog.Position(), 100) << "every report was shown before the dialog closed";
}

TEST_F(ProgressDialogTest, RunReturnsTheJobsAnswer) {
  EXPECT_FALSE(ExportProgressDialog::Run(nullptr, [](MessageTarget*) { return false; }));
  EXPECT_TRUE(ExportProgressDialog::Run(nullptr, [](MessageTarget*) { return true; }));
  // A job that runs out of memory fails instead of ending the program.
  EXPECT_FALSE(ExportProgressDialog::Run(nullptr, [](MessageTarget*) -> bool { throw std::bad_alloc(); }));
}

}  // namespace
}  // namespace grinsnap
