#include <fstream>
#include <random>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QMenuBar>
#include <QToolBar>
#include <QSlider>
#include <QTabBar>


#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "app/settings_storage_ini.h"
#include "app/string_table.h"
#include "app/tool_bar_model.h"
#include "core/template_document.h"
#include "platform/messages.h"
#include "test_support/gate_filter.h"
#include "test_support/qt_test_app.h"
#include "test_support/test_support.h"
#include "ui/app_context.h"
#include "ui/gallery_widget.h"
#include "ui/face_notice_dialog.h"
#include "ui/main_window.h"
#include "ui/photo_list.h"
#include "ui/preview_widget.h"
#include "ui/message_box.h"
#include "ui/option_panes.h"
#include "ui/work_area.h"

namespace grinsnap {
namespace {

namespace fs = std::filesystem;

// The program's data folder as the build lays it out beside the binaries.
fs::path BuiltDataFolder() { return fs::path(GRINSNAP_BUILT_DATA_DIR); }

class MainWindowTest : public testing::Test {
protected:
  void SetUp() override {
    test::QtApp();
    RegisterUiClasses();
    setenv("GRINSNAP_DATA_DIR", BuiltDataFolder().c_str(), 1);
    app_.programFolder = BuiltDataFolder();
    app_.language = std::make_unique<CLanguage>(app_.programFolder / "lang", app_.settings);
    app_.settings.language = "lang_eng.ini";
    app_.settings.languageAuto = false;
    SetApp(&app_);
    window_ = std::make_unique<MainWindow>(app_);
  }
  void TearDown() override {
    window_.reset();
    SetApp(nullptr);
    unsetenv("GRINSNAP_DATA_DIR");
  }

  QStringList WritePhotos(int count) {
    const fs::path folder = test::FreshFolder("main_window_photos");
    QStringList paths;
    for (int i = 0; i < count; ++i) {
      const fs::path path = folder / ("p" + std::to_string(i) + ".png");
      cv::imwrite(path.string(), test::Flat(80 + 10 * i, 60, {uchar(40 * i), 90, 160}));
      paths << QString::fromStdString(path.string());
    }
    return paths;
  }

  QStringList ToolBarTexts() const {
    QStringList texts;
    for (QAction* action : window_->findChild<QToolBar*>("MainToolBtnBar")->actions())
      texts << (action->isSeparator() ? "|" : action->text() + (action->isEnabled() ? "" : "(off)"));
    return texts;
  }

  AppContext app_;
  std::unique_ptr<MainWindow> window_;
};

TEST_F(MainWindowTest, WritesThatFailAtExitAreShownWithTheFileAndTheReason) {
  // The user's list becomes a folder: it cannot be replaced at exit.
  ASSERT_FALSE(app_.library.Directories().empty());
  const fs::path list = fs::path(app_.library.Directories().front()) / "template.cfg";
  fs::remove(list);
  fs::create_directories(list / "in-the-way");
  ScopedMessageRecorder messages;
  window_.reset();
  fs::remove_all(list);
  ASSERT_EQ(messages.Messages().size(), 1u);
  EXPECT_EQ(messages.Messages()[0].caption, "Error");
  EXPECT_TRUE(messages.Messages()[0].text.startsWith("Save template library error!\n\n"));
  EXPECT_TRUE(messages.Messages()[0].text.contains(QString::fromStdString(list.string())))
      << messages.Messages()[0].text.toStdString();
  EXPECT_TRUE(app_.exitWriteFailed);

  // Settings whose folder cannot be made (a plain file stands in its place).
  const fs::path blocker = test::FreshFolder("exit-settings") / "config";
  std::ofstream(blocker) << "a file";
  CSettingsStorageIni storage(blocker / "Velmora" / "Grinsnap.ini");
  messages.Clear();
  EXPECT_FALSE(SaveSettingsAtExit(app_, storage));
  ASSERT_EQ(messages.Messages().size(), 1u);
  EXPECT_TRUE(messages.Messages()[0].text.startsWith("Save project settings error!\n\n"));
  EXPECT_TRUE(messages.Messages()[0].text.contains(QString::fromStdString(blocker.string())))
      << messages.Messages()[0].text.toStdString();

  messages.Clear();
  CSettingsStorageIni fine(test::FreshFolder("exit-settings-ok") / "Grinsnap.ini");
  EXPECT_TRUE(SaveSettingsAtExit(app_, fine));
  EXPECT_TRUE(messages.Messages().empty());
}

TEST_F(MainWindowTest, AddingPhotosSelectsKnownFilesAndReportsBrokenOnes) {
  ScopedMessageRecorder messages;
  const QStringList photos = WritePhotos(3);
  const QString broken = QString::fromStdString((test::FreshFolder("broken") / "broken.jpg").string());
  std::ofstream(broken.toStdString()) << "not a picture";

  EXPECT_EQ(window_->Work().AddPhotos(photos + QStringList{broken}), 3);
  EXPECT_EQ(app_.engine.GetPhotoCount(), 3);
  ASSERT_EQ(messages.Messages().size(), 1u);
  EXPECT_TRUE(messages.Messages()[0].text.contains("broken.jpg"));
  EXPECT_EQ(app_.engine.CurrentPhoto(), 2) << "the last added photo is chosen";

  // A file already in the list is chosen, not added again.
  EXPECT_EQ(window_->Work().AddPhotos({photos[0]}), 0);
  EXPECT_EQ(app_.engine.GetPhotoCount(), 3);
  EXPECT_EQ(app_.engine.CurrentPhoto(), 0);
  EXPECT_EQ(app_.engine.InputPhotoIndices(), std::vector<int>{0});
}

TEST_F(MainWindowTest, TheToolBarFollowsThePhotoListAndTheMode) {
  const QString add = app_.QText(kIdsAddImage), zoomIn = app_.QText(kIdsZoomIn);
  QStringList texts = ToolBarTexts();
  ASSERT_GE(texts.size(), 6);
  EXPECT_EQ(texts[0], add);
  EXPECT_EQ(texts[3], "|");
  EXPECT_EQ(texts[4], zoomIn + "(off)") << "an empty photo list disables from the fifth entry";

  window_->Work().AddPhotos(WritePhotos(1));
  texts = ToolBarTexts();
  EXPECT_EQ(texts[4], zoomIn);
  window_->RunCommand(kCmdShowSecondMode);
  texts = ToolBarTexts();
  EXPECT_TRUE(texts.contains(app_.QText(kIdsRotateLeft)));
  window_->RunCommand(kCmdShowFirstMode);
  EXPECT_FALSE(ToolBarTexts().contains(app_.QText(kIdsRotateLeft)));
}

TEST_F(MainWindowTest, ATemplateFromTheListRendersTheChosenPhoto) {
  window_->resize(1000, 700);
  window_->show();
  window_->Work().AddPhotos(WritePhotos(2));
  // The gallery's choice, as a click on its tile sends it.
  TemplateEntry* sepia = nullptr;
  for (const auto& column : app_.library.Columns())
    for (const auto& entry : column->entries)
      if (entry->name == "Sepia") sepia = entry.get();
  ASSERT_NE(sepia, nullptr);
  emit window_->Work().Gallery().templateChosen(sepia);
  ASSERT_NE(app_.engine.Template(), nullptr);
  ASSERT_FALSE(app_.engine.IsBusy());
  EXPECT_FALSE(app_.engine.Output().empty());
  EXPECT_EQ(app_.engine.HistoryCount(), 1) << "a finished result is a history step";

  // The strip's second tab shows the history.
  auto* tabs = window_->findChild<QTabBar*>("StripTabs");
  ASSERT_NE(tabs, nullptr);
  tabs->setCurrentIndex(1);
  EXPECT_EQ(window_->Work().Photos().Mode(), 1);
  tabs->setCurrentIndex(0);
  EXPECT_EQ(window_->Work().Photos().Mode(), 0);

  // Undo goes back to no result; the template is released.
  window_->RunMenuCommand(kMenuUndo);
  EXPECT_EQ(app_.engine.Template(), nullptr);
}

TEST_F(MainWindowTest, TheFaceNoticeShowsUntilItsBoxIsTickedAndLeadsToTheTemplateView) {
  window_->Work().AddPhotos(WritePhotos(1));
  ASSERT_TRUE(window_->Work().SelectTemplateByName("Sepia"));
  window_->RunCommand(kCmdShowSecondMode);
  int shown = 0;
  const FaceNoticeHook previous = SetFaceNoticeHook([&](CDlgInfoNotDetected& dialog) {
    ++shown;
    EXPECT_EQ(dialog.windowTitle(), "Notice");
    EXPECT_EQ(dialog.Text()->text(), "The target face is not detected, please select a face region manually.");
    EXPECT_EQ(dialog.DoNotShowAgainBox()->text(), "Do not show this dialog again.");
    EXPECT_EQ(dialog.DoNotShowAgainBox()->property("controlId").toInt(), 1077);
    EXPECT_EQ(dialog.OkButton()->text(), "OK");
    if (shown == 2) dialog.DoNotShowAgainBox()->setChecked(true);
  });
  const auto notice = [&] {
    window_->MessageReceiver()->Post(kMsgFaceNotDetected, 0, 0);
    QCoreApplication::processEvents();
  };
  notice();
  EXPECT_EQ(shown, 1);
  EXPECT_FALSE(window_->Work().EditingOriginal()) << "the face box is placed in the template's view";
  notice();
  EXPECT_EQ(shown, 2);
  EXPECT_FALSE(app_.session.faceNoticeEnabled);
  notice();
  EXPECT_EQ(shown, 2) << "ticked: not shown again in this run";
  // The next start shows it again: the choice is not saved.
  EXPECT_TRUE(SessionState().faceNoticeEnabled);
  SetFaceNoticeHook(previous);
}

TEST_F(MainWindowTest, ATemplateWithVariablesShowsItsPaneAndTheControlPanelButton) {
  window_->resize(1000, 700);
  window_->show();
  window_->Work().AddPhotos(WritePhotos(1));
  ASSERT_TRUE(window_->Work().SelectTemplateByName("emboss"));
  ASSERT_NE(window_->Work().Gallery().SelectedEntry(), nullptr);
  EXPECT_EQ(window_->Work().Gallery().SelectedEntry()->name, "Emboss");
  EXPECT_TRUE(window_->Work().HasOptionPane());
  auto* pane = window_->findChild<COptionPane2D*>();
  ASSERT_NE(pane, nullptr);
  EXPECT_TRUE(pane->isVisible());
  EXPECT_TRUE(ToolBarTexts().contains(app_.QText(kIdsHideControlPanel)));
  window_->RunCommand(kCmdToggleControlPanel);
  EXPECT_FALSE(pane->isVisible());
  EXPECT_TRUE(ToolBarTexts().contains(app_.QText(kIdsShowControlPanel)));

  // A slider change runs the template again: one more history step.
  const int steps = app_.engine.HistoryCount();
  pane->Slider(0)->setValue(pane->Slider(0)->value() + 1);
  EXPECT_EQ(app_.engine.HistoryCount(), steps + 1);

  // Original-image mode swaps in the original-image pane and the rotate buttons.
  window_->RunCommand(kCmdShowSecondMode);
  auto* original = window_->findChild<COptionPaneOrgImgDefault*>();
  ASSERT_NE(original, nullptr);
  EXPECT_TRUE(original->isVisible());
  const cv::Size before = app_.engine.GetPhoto(0).WorkingImage().size();
  window_->RunCommand(kCmdRotateRight);
  EXPECT_EQ(app_.engine.GetPhoto(0).WorkingImage().size(), cv::Size(before.height, before.width));

  // Undo lets go of the template: its pane goes with it.
  window_->RunCommand(kCmdShowFirstMode);
  window_->RunMenuCommand(kMenuUndo);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(window_->findChild<COptionPane2D*>(), nullptr);
  EXPECT_FALSE(window_->Work().HasOptionPane());
}

// Clicks as fast as a user can, each run cancelling the one before on the
// worker: the last run's result always arrives and is shown.
TEST_F(MainWindowTest, NoResultIsLostOverAThousandRapidClicks) {
  window_->resize(1000, 700);
  window_->show();
  window_->Work().AddPhotos(WritePhotos(1));
  test::CF_TestGate::Control& gate = test::CF_TestGate::Shared();
  gate.Reset();
  gate.workMode = true;
  TemplateRef effect(CreateTemplateFromDocument(TemplateDocument::FromText(test::kGateTemplateDocument), {}));
  ASSERT_TRUE(effect);
  window_->Work().UseTemplate(effect.get());
  std::mt19937 random(12);
  // As the program does: nothing but the event loop until the result shows.
  auto settled = [&] {
    QElapsedTimer waited;
    waited.start();
    while (window_->Work().Preview().IsBusy() && waited.elapsed() < 3000)
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    return !window_->Work().Preview().IsBusy();
  };
  for (int click = 1; click <= 1000; ++click) {
    {
      std::lock_guard lock(gate.mutex);
      gate.tag = click;
      gate.workRows = static_cast<int>(random() % 40);
    }
    window_->Work().RunTemplate();
    if (random() % 3 == 0) QCoreApplication::processEvents();
    if (click % 50 == 0) {
      ASSERT_TRUE(settled()) << "the preview waits for a result that never comes, click " << click;
      ASSERT_FALSE(app_.engine.Output().empty());
      EXPECT_EQ(app_.engine.Output().at<cv::Vec3b>(0, 0)[0], click & 0xFF) << "click " << click;
    }
  }
  gate.Reset();
}

TEST_F(MainWindowTest, AfterAFullSizeRunTheSlidersRenderAtThePreviewSizeAgain) {
  window_->resize(1000, 700);
  window_->show();
  window_->Work().AddPhotos(QStringList{QString::fromStdString((test::DataDir() / "photos/coffee.png").string())});
  ASSERT_TRUE(window_->Work().SelectTemplateByName("emboss"));
  const cv::Size preview = app_.engine.Output().size();
  ASSERT_TRUE(window_->Work().RunFullSize());
  EXPECT_EQ(app_.engine.Output().size(), cv::Size(600, 400));
  app_.engine.Refresh();  // what a slider drag does
  EXPECT_EQ(app_.engine.Output().size(), preview);
}

TEST_F(MainWindowTest, EscapeAsksBeforeQuittingButNotUnderADialog) {
  window_->show();
  ScopedMessageRecorder messages(MessageResult::Cancel);
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(window_.get(), &escape);
  ASSERT_EQ(messages.Messages().size(), 1u);
  EXPECT_EQ(messages.Messages()[0].text, app_.QText(kIdsConfirmQuit));
  EXPECT_EQ(messages.Messages()[0].caption, "Exit");
  EXPECT_TRUE(window_->isVisible());

  window_->SetModalOpen(true);
  QApplication::sendEvent(window_.get(), &escape);
  EXPECT_EQ(messages.Messages().size(), 1u);
  window_->SetModalOpen(false);

  messages.QueueAnswer(MessageResult::Ok);
  QApplication::sendEvent(window_.get(), &escape);
  EXPECT_FALSE(window_->isVisible());
}

TEST_F(MainWindowTest, SwitchingLanguageRetranslatesMenusAndToolBar) {
  QAction* germanEntry = nullptr;
  for (QAction* action : window_->findChildren<QAction*>())
    if (action->data().toInt() >= kLanguageFirstCommand && action->text().contains("Deutsch")) germanEntry = action;
  ASSERT_NE(germanEntry, nullptr);
  window_->RunMenuCommand(germanEntry->data().toInt());
  EXPECT_EQ(app_.settings.language, "lang_deu.ini");
  EXPECT_FALSE(app_.settings.languageAuto);
  EXPECT_NE(app_.QText(kIdsAddImage), "Add Image");
  EXPECT_EQ(ToolBarTexts()[0], app_.QText(kIdsAddImage));
  EXPECT_EQ(window_->menuBar()->actions()[0]->text(), "&Datei");
}

TEST_F(MainWindowTest, SmallWindowRectanglesAreNotKept) {
  window_->show();
  window_->setGeometry(50, 60, 900, 650);
  const ScreenRect kept = app_.settings.WindowRect();
  EXPECT_EQ(kept.Width(), 900);
  // 799 wide is refused (the window itself cannot get smaller than 800 either).
  EXPECT_FALSE(app_.settings.StoreWindowRect({0, 0, 799, 700}));
  EXPECT_EQ(app_.settings.WindowRect(), kept);
}

}  // namespace
}  // namespace grinsnap
