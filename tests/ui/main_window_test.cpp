#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <set>
#include <random>

#include <QAbstractButton>
#include <QAction>
#include <QStatusBar>
#include <QTimer>
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
#include <opencv2/imgproc.hpp>

#include "app/ini_file.h"
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

  // Adds pictures and lets the loader deliver them, as the event loop does.
  int AddAndWait(const QStringList& paths) {
    const int queued = window_->Work().AddPhotos(paths);
    QElapsedTimer waited;
    waited.start();
    while (window_->Work().LoadingPhotos() && waited.elapsed() < 20000)
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_FALSE(window_->Work().LoadingPhotos()) << "the loader delivers every photo";
    return queued;
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

  EXPECT_EQ(AddAndWait(photos + QStringList{broken}), 4) << "four files are read";
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

  AddAndWait(WritePhotos(1));
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
  AddAndWait(WritePhotos(2));
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
  AddAndWait(WritePhotos(1));
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
  AddAndWait(WritePhotos(1));
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

  // A slider change runs the template again: one more history step. The
  // slider's value shows beside it.
  const int steps = app_.engine.HistoryCount();
  const int first = pane->Slider(0)->value();
  pane->Slider(0)->setValue(first + 1);
  EXPECT_EQ(app_.engine.HistoryCount(), steps + 1);
  EXPECT_EQ(pane->ValueLabel(0)->text(), QString::number(first + 1));

  // Original-image mode swaps in the original-image pane and the rotate buttons.
  window_->RunCommand(kCmdShowSecondMode);
  auto* original = window_->findChild<COptionPaneOrgImgDefault*>();
  ASSERT_NE(original, nullptr);
  EXPECT_TRUE(original->isVisible());
  const cv::Size before = app_.engine.GetPhoto(0).WorkingImage().size();
  window_->RunCommand(kCmdRotateRight);
  EXPECT_EQ(app_.engine.GetPhoto(0).WorkingImage().size(), cv::Size(before.height, before.width));

  // Undo to the first step brings back its template, gallery mark and
  // slider; a slider move then goes on from there.
  window_->RunCommand(kCmdShowFirstMode);
  const cv::Mat firstStep = app_.engine.HistoryEntry(0);
  window_->RunMenuCommand(kMenuUndo);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(app_.engine.HistoryPos(), 0);
  EXPECT_EQ(app_.engine.Output().data, firstStep.data) << "the step itself is on show";
  ASSERT_NE(app_.engine.Template(), nullptr);
  ASSERT_NE(window_->Work().Gallery().SelectedEntry(), nullptr);
  EXPECT_EQ(window_->Work().Gallery().SelectedEntry()->name, "Emboss");
  pane = window_->findChild<COptionPane2D*>();
  ASSERT_NE(pane, nullptr);
  EXPECT_EQ(pane->Slider(0)->value(), first);
  pane->Slider(0)->setValue(first + 2);
  EXPECT_EQ(app_.engine.HistoryCount(), 2) << "the later step gives way to the new one";

  // Undone past the first step: no template, and the photo itself shows.
  window_->RunMenuCommand(kMenuUndo);
  window_->RunMenuCommand(kMenuUndo);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(window_->findChild<COptionPane2D*>(), nullptr);
  EXPECT_FALSE(window_->Work().HasOptionPane());
  EXPECT_TRUE(app_.engine.Output().empty());
  EXPECT_TRUE(window_->Work().Preview().ShowingFallback());
  EXPECT_FALSE(window_->Work().Preview().Picture().empty());
}

// Clicks as fast as a user can, each run cancelling the one before on the
// worker: the last run's result always arrives and is shown.
TEST_F(MainWindowTest, NoResultIsLostOverAThousandRapidClicks) {
  window_->resize(1000, 700);
  window_->show();
  AddAndWait(WritePhotos(1));
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
  AddAndWait(QStringList{QString::fromStdString((test::DataDir() / "photos/coffee.png").string())});
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

// Every command of the tool bar's table can be reached: the view and the
// result have buttons, and every command has a menu item and its shortcut.
TEST_F(MainWindowTest, EveryCommandHasItsButtonMenuItemAndShortcut) {
  window_->resize(1000, 700);
  window_->show();
  const auto keys = [&](int id) { return window_->MenuAction(id)->shortcuts(); };
  const QKeySequence ctrl(Qt::CTRL);
  EXPECT_TRUE(keys(kMenuOpen).contains(QKeySequence(Qt::CTRL | Qt::Key_O)));
  EXPECT_TRUE(keys(kMenuExport).contains(QKeySequence(Qt::CTRL | Qt::Key_E)));
  EXPECT_TRUE(keys(kMenuExport).contains(QKeySequence(Qt::CTRL | Qt::Key_S)));
  EXPECT_TRUE(keys(kMenuUndo).contains(QKeySequence(Qt::CTRL | Qt::Key_Z)));
  EXPECT_TRUE(keys(kMenuRedo).contains(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)));
  EXPECT_TRUE(keys(kMenuRedo).contains(QKeySequence(Qt::CTRL | Qt::Key_Y)));
  EXPECT_TRUE(keys(kMenuZoomIn).contains(QKeySequence(Qt::CTRL | Qt::Key_Plus)));
  EXPECT_TRUE(keys(kMenuZoomOut).contains(QKeySequence(Qt::CTRL | Qt::Key_Minus)));
  EXPECT_TRUE(keys(kMenuZoomFit).contains(QKeySequence(Qt::CTRL | Qt::Key_0)));
  EXPECT_TRUE(keys(kMenuExit).contains(QKeySequence(Qt::CTRL | Qt::Key_Q)));
  EXPECT_FALSE(window_->ToolBarAction(kCmdAddToInput)->isEnabled()) << "no photo yet";

  AddAndWait(WritePhotos(2));
  ASSERT_TRUE(window_->Work().SelectTemplateByName("Sepia"));
  // The original image and back, from the menu and from the bar.
  window_->MenuAction(kMenuShowOriginal)->trigger();
  EXPECT_TRUE(window_->Work().EditingOriginal());
  EXPECT_TRUE(window_->findChild<COptionPaneOrgImgDefault*>()->ClipBox()->isVisible());
  const cv::Size before = app_.engine.GetPhoto(1).WorkingImage().size();
  window_->MenuAction(kMenuRotateLeft)->trigger();
  EXPECT_EQ(app_.engine.GetPhoto(1).WorkingImage().size(), cv::Size(before.height, before.width));
  ASSERT_NE(window_->ToolBarAction(kCmdShowTemplateMode), nullptr);
  window_->ToolBarAction(kCmdShowTemplateMode)->trigger();
  EXPECT_FALSE(window_->Work().EditingOriginal());
  EXPECT_FALSE(window_->MenuAction(kMenuRotateLeft)->isEnabled()) << "turning is for the original image";

  // Add To Input puts the result first in the list, once.
  QAction* add = window_->ToolBarAction(kCmdAddToInput);
  ASSERT_TRUE(add->isEnabled());
  EXPECT_EQ(add->text(), app_.QText(kIdsAddToInput));
  EXPECT_EQ(add->toolTip(), app_.QText(kIdsAddToInputTip));
  add->trigger();
  EXPECT_EQ(app_.engine.GetPhotoCount(), 3);
  EXPECT_TRUE(app_.engine.GetPhoto(0).path.empty());
  EXPECT_FALSE(window_->ToolBarAction(kCmdAddToInput)->isEnabled());
  EXPECT_FALSE(window_->MenuAction(kMenuAddToInput)->isEnabled());

  // Delete in the strip removes the selected photo; tiles name themselves.
  PhotoList& strip = window_->Work().Photos();
  const int selected = strip.Selection().front();
  QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
  QApplication::sendEvent(&strip, &del);
  EXPECT_EQ(app_.engine.GetPhotoCount(), 2) << "photo " << selected << " is gone";
  GalleryWidget& gallery = window_->Work().Gallery();
  const QRect tile = gallery.TileRect(*gallery.SelectedEntry());
  ASSERT_FALSE(tile.isNull());
  EXPECT_EQ(gallery.ToolTipAt(tile.center()), "Sepia");
}

// After a language switch no text on show stays in English: menus, bars,
// tabs, the panes (through message 3800), the title, the hint.
TEST_F(MainWindowTest, SwitchingToGermanLeavesNoEnglishTextOnShow) {
  window_->resize(1000, 700);
  window_->show();
  AddAndWait(WritePhotos(1));
  ASSERT_TRUE(window_->Work().SelectTemplateByName("Sepia Sketch"));
  ASSERT_NE(window_->findChild<COptionPane2D*>(), nullptr);

  // English texts that German replaces: the English file's values and the
  // names the German dictionary translates, less what is the same in both.
  IniFile english, german;
  ASSERT_TRUE(english.Load(BuiltDataFolder() / "lang" / "lang_eng.ini"));
  ASSERT_TRUE(german.Load(BuiltDataFolder() / "lang" / "lang_deu.ini"));
  std::set<QString> englishOnly, germanTexts;
  const auto plain = [](std::string text) {
    QString q = QString::fromStdString(ExpandEscapes(text, true));
    return q.remove('&').trimmed();
  };
  for (const IniFile::Section& section : german.Sections())
    for (const IniFile::Entry& entry : section.entries)
      germanTexts.insert(plain(german.ProfileString(section.name, entry.key).value_or("")));
  for (const IniFile::Section& section : english.Sections())
    for (const IniFile::Entry& entry : section.entries)
      if (section.name != "General")  // a language's own name is its name in every language
      englishOnly.insert(plain(english.ProfileString(section.name, entry.key).value_or("")));
  for (const IniFile::Entry& entry : german.FindSection("DICTIONARY")->entries) englishOnly.insert(plain(entry.key));
  for (const QString& same : germanTexts) englishOnly.erase(same);
  englishOnly.erase("");

  QAction* germanEntry = nullptr;
  for (QAction* action : window_->findChildren<QAction*>())
    if (action->data().toInt() >= kLanguageFirstCommand && action->text().contains("Deutsch")) germanEntry = action;
  ASSERT_NE(germanEntry, nullptr);
  window_->RunMenuCommand(germanEntry->data().toInt());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // the bars' old buttons

  QStringList shown;
  const std::function<void(QMenu*)> menuTexts = [&](QMenu* menu) {
    for (QAction* action : menu->actions()) {
      shown << action->text();
      if (action->menu()) menuTexts(action->menu());
    }
  };
  for (QAction* action : window_->menuBar()->actions()) {
    shown << action->text();
    if (action->menu()) menuTexts(action->menu());
  }
  for (QToolBar* bar : window_->findChildren<QToolBar*>())
    for (QAction* action : bar->actions()) shown << action->text() << action->toolTip();
  for (QTabBar* tabs : window_->findChildren<QTabBar*>())
    for (int i = 0; i < tabs->count(); ++i) shown << tabs->tabText(i);
  for (QLabel* label : window_->findChildren<QLabel*>()) shown << label->text();
  for (QAbstractButton* button : window_->findChildren<QAbstractButton*>()) shown << button->text();
  shown << window_->windowTitle();
  for (const QString& text : shown)
    EXPECT_EQ(englishOnly.count(QString(text).remove('&').trimmed()), 0u) << "still English: " << text.toStdString();
  EXPECT_EQ(window_->findChild<QTabBar*>("StripTabs")->tabText(1), "Verlauf");
  EXPECT_EQ(window_->findChild<COptionPaneOrgImgDefault*>()->ClipBox()->text(), "Ausschnitt zeigen");
  EXPECT_EQ(window_->menuBar()->actions()[3]->text(), "&Einstellungen");
}

TEST_F(MainWindowTest, TheCloseButtonAsksLikeEscapeWhileAResultIsNotExported) {
  window_->show();
  ScopedMessageRecorder messages(MessageResult::Cancel);
  window_->close();
  EXPECT_TRUE(messages.Messages().empty()) << "nothing to lose";
  window_->show();
  AddAndWait(WritePhotos(1));
  ASSERT_TRUE(window_->Work().SelectTemplateByName("Sepia"));
  window_->close();
  ASSERT_EQ(messages.Messages().size(), 1u);
  EXPECT_EQ(messages.Messages()[0].text, app_.QText(kIdsConfirmQuit));
  EXPECT_EQ(messages.Messages()[0].caption, "Exit");
  EXPECT_TRUE(window_->isVisible()) << "Cancel keeps the window";
  window_->Work().MarkExported();
  window_->close();
  EXPECT_EQ(messages.Messages().size(), 1u);
  EXPECT_FALSE(window_->isVisible());

  // The maximised state is kept for the next start.
  window_->showMaximized();
  QCoreApplication::processEvents();
  EXPECT_TRUE(app_.settings.maximized);
  window_->showNormal();
  QCoreApplication::processEvents();
  EXPECT_FALSE(app_.settings.maximized);
}

// A large photo is read on the loader's thread: the window goes on
// answering, shows that it works, and then shows the photo itself.
TEST_F(MainWindowTest, ALargePhotoLoadsWhileTheWindowAnswers) {
  window_->resize(1000, 700);
  window_->show();
  // 24 megapixels by default; GRINSNAP_LARGE_PHOTO_MP asks for another size.
  const double megapixels = qEnvironmentVariableIsSet("GRINSNAP_LARGE_PHOTO_MP")
                                ? qEnvironmentVariable("GRINSNAP_LARGE_PHOTO_MP").toDouble()
                                : 24.0;
  const int width = static_cast<int>(std::sqrt(megapixels * 1e6 * 3 / 2));
  const int height = width * 2 / 3;
  // Blotches a camera photo might show, small enough a file to write quickly.
  cv::Mat seed(height / 32, width / 32, CV_8UC3), big;
  cv::randu(seed, cv::Scalar::all(0), cv::Scalar::all(255));
  cv::resize(seed, big, cv::Size(width, height), 0, 0, cv::INTER_LINEAR);
  const std::string extension = qEnvironmentVariableIsSet("GRINSNAP_LARGE_PHOTO_EXT")
                                    ? qEnvironmentVariable("GRINSNAP_LARGE_PHOTO_EXT").toStdString()
                                    : "jpg";
  const fs::path file = test::FreshFolder("large_photo") / ("large." + extension);
  ASSERT_TRUE(cv::imwrite(file.string(), big));
  big.release();

  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(window_->Work().AddPhotos({QString::fromStdString(file.string())}), 1);
  const qint64 returned = clock.elapsed();
  EXPECT_EQ(app_.engine.GetPhotoCount(), 0) << "the photo is still being read";
  EXPECT_TRUE(window_->Work().LoadingPhotos());
  EXPECT_TRUE(window_->Work().Preview().BusyTimerActive()) << "the preview shows that it works";
  EXPECT_TRUE(window_->statusBar()->currentMessage().contains("large."));

  // The event loop's longest pause until the photo is on show.
  qint64 longest = returned, last = clock.elapsed();
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, [&] {
    longest = std::max(longest, clock.elapsed() - last);
    last = clock.elapsed();
  });
  tick.start(5);
  while (window_->Work().LoadingPhotos() && clock.elapsed() < 60000)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
  longest = std::max(longest, clock.elapsed() - last);
  std::printf("%.0f MP photo: AddPhotos returned after %lld ms, on show after %lld ms, longest pause %lld ms\n",
              megapixels, static_cast<long long>(returned), static_cast<long long>(clock.elapsed()),
              static_cast<long long>(longest));
  ASSERT_EQ(app_.engine.GetPhotoCount(), 1);
  EXPECT_LT(longest, 1000) << "the window froze";
  EXPECT_FALSE(window_->Work().Preview().BusyTimerActive());
  EXPECT_TRUE(window_->Work().Preview().ShowingFallback()) << "the photo shows before a template is picked";
  EXPECT_TRUE(window_->windowTitle().startsWith(QString::fromStdString(file.filename().string())))
      << window_->windowTitle().toStdString();
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
