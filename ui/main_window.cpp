#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "app/string_table.h"
#include "app/system_language.h"
#include "app/tool_bar_model.h"
#include "platform/folders.h"
#include "platform/messages.h"
#include "platform/version.h"
#include "ui/app_context.h"
#include "ui/export_flow.h"
#include "ui/face_notice_dialog.h"
#include "ui/message_box.h"
#include "ui/option_panes.h"
#include "ui/photo_list.h"
#include "ui/preview_widget.h"
#include "ui/qt_language.h"
#include "ui/qt_message_target.h"
#include "ui/work_area.h"

namespace grinsnap {

namespace {

constexpr const char* kWindowTitle = "Grinsnap";
constexpr const char* kExitCaption = "Exit";
constexpr const char* kTipDismissText = "Do not show this tip again";
constexpr const char* kTipOkText = "I know";
constexpr const char* kHelpFile = "Help/Grinsnap Help.html";
constexpr const char* kImageFilter = "Images (*.jpg *.jpeg *.jpe *.png *.bmp *.tif *.tiff *.webp *.gif *.pgm *.ppm)";
constexpr int kTipDialogId = kDlgTip;

QAction* AddCommand(QMenu* menu, const char* text, int id) {
  QAction* action = menu->addAction(QString::fromUtf8(text));
  action->setData(id);
  return action;
}

}  // namespace

MainWindow::MainWindow(AppContext& app, QWidget* parent) : QMainWindow(parent), app_(app) {
  setObjectName("SnapforgeDlg");
  setWindowTitle(kWindowTitle);
  setMinimumSize(CGRSSettings::kMinimumWidth, CGRSSettings::kMinimumHeight);
  setAcceptDrops(true);

  // The documents folder's "Grinsnap" holds saved pictures by default.
  std::error_code ignored;
  std::filesystem::create_directories(DocumentsFolder() / "Grinsnap", ignored);

  mainTarget_ = std::make_unique<QtMessageTarget>([this](std::uint32_t m, WParam w, LParam l) {
    OnMainMessage(m, w, l);
    return LParam{0};
  });
  app_.engine.SetMainWindow(mainTarget_.get());

  toolBar_ = new QToolBar(this);
  toolBar_->setObjectName("MainToolBtnBar");
  toolBar_->setMovable(false);
  toolBar_->setToolButtonStyle(Qt::ToolButtonTextOnly);
  addToolBar(Qt::TopToolBarArea, toolBar_);

  workArea_ = new WorkArea(app_, this);
  setCentralWidget(workArea_);
  connect(workArea_, &WorkArea::stateChanged, this, &MainWindow::RebuildToolBar);
  connect(workArea_, &WorkArea::tipRequested, this, &MainWindow::ShowTip);
  connect(workArea_, &WorkArea::resultReady, this, [this] {
    if (exportPending_) {
      exportPending_ = false;
      Export();
    }
    if (addToInputPending_) {
      addToInputPending_ = false;
      workArea_->AddResultToPhotos();
    }
  });

  BuildMenus();
  RebuildToolBar();
  RetranslateUi();

  const ScreenRect rect = app_.settings.WindowRect();
  if (rect.Width() >= CGRSSettings::kMinimumWidth && rect.Height() >= CGRSSettings::kMinimumHeight)
    setGeometry(rect.left, rect.top, rect.Width(), rect.Height());
  else
    resize(CGRSSettings::kFirstRunWidth, CGRSSettings::kFirstRunHeight);
  geometryReady_ = true;

  // Escape and F1 reach the main window from every child.
  qApp->installEventFilter(this);
}

MainWindow::~MainWindow() {
  qApp->removeEventFilter(this);
  app_.engine.SetMainWindow(nullptr);
}

void MainWindow::BuildMenus() {
  fileMenu_ = menuBar()->addMenu("&File");
  AddCommand(fileMenu_, "&Open...", kMenuOpen);
  AddCommand(fileMenu_, "&Save", kMenuSave)->setEnabled(false);
  AddCommand(fileMenu_, "Save &As...", kMenuSaveAs)->setEnabled(false);
  fileMenu_->addSeparator();
  AddCommand(fileMenu_, "E&xit", kMenuExit);
  editMenu_ = menuBar()->addMenu("&Edit");
  AddCommand(editMenu_, "&Undo", kMenuUndo)->setShortcut(QKeySequence::Undo);
  AddCommand(editMenu_, "&Redo", kMenuRedo)->setShortcut(QKeySequence::Redo);
  AddCommand(editMenu_, "R&estore", kMenuRestore)->setEnabled(false);
  settingsMenu_ = menuBar()->addMenu("&Settings");
  languageMenu_ = settingsMenu_->addMenu("Language");
  settingsMenu_->addSeparator();
  AddCommand(settingsMenu_, "Help...", kMenuHelp)->setShortcut(Qt::Key_F1);
  AddCommand(settingsMenu_, "Check for new update...", kMenuCheckUpdate)->setEnabled(false);
  AddCommand(settingsMenu_, "About", kMenuAbout);
  BuildLanguageMenu();

  for (QMenu* menu : {fileMenu_, editMenu_, settingsMenu_})
    connect(menu, &QMenu::triggered, this, [this](QAction* action) {
      const int id = action->data().toInt();
      if (id != 0) RunMenuCommand(id);
    });
}

void MainWindow::BuildLanguageMenu() {
  languageMenu_->clear();
  const auto folder = app_.programFolder / "lang";
  languageEntries_ = ::grinsnap::BuildLanguageMenu(folder, app_.settings);
  QAction* automatic = AddCommand(languageMenu_, "Auto", kAutoLanguageCommand);
  automatic->setCheckable(true);
  automatic->setChecked(languageEntries_.autoChecked);
  for (const LanguageMenuEntry& entry : languageEntries_.entries) {
    QAction* action = AddCommand(languageMenu_, entry.caption.c_str(), entry.commandId);
    action->setCheckable(true);
    action->setChecked(entry.checked);
  }
}

void MainWindow::RebuildToolBar() {
  ToolBarState state;
  state.editingOriginal = workArea_->EditingOriginal();
  state.templateHasPane = workArea_->HasOptionPane();
  state.paneShown = workArea_->PaneShown();
  state.photoListEmpty = app_.engine.GetPhotoCount() == 0;
  if (CEffectTemplate* effect = app_.engine.Template()) effect->GetToolButtons(state.templateButtons);

  toolBar_->clear();
  for (const ToolBarEntry& entry : ComposeToolBar(state)) {
    if (entry.separator) {
      toolBar_->addSeparator();
      continue;
    }
    QAction* action = toolBar_->addAction(app_.QText(entry.captionId));
    action->setToolTip(app_.QText(entry.tooltipId));
    action->setEnabled(entry.enabled);
    if (entry.onPress) {
      connect(action, &QAction::triggered, this, [onPress = entry.onPress, owner = entry.owner] { onPress(owner); });
    } else {
      connect(action, &QAction::triggered, this, [this, command = entry.command] { RunCommand(command); });
    }
  }
}

void MainWindow::RetranslateUi() {
  if (app_.language) {
    QtMenuText bar(menuBar());
    app_.language->ApplyToMenu(bar);
    // The settings pop-up numbers its sub-menus after the menu bar's.
    QtMenuText settings(settingsMenu_);
    app_.language->ApplyToMenu(settings, 0);
  }
  RebuildToolBar();
  workArea_->RetranslateUi();
}

void MainWindow::RunCommand(int command) {
  switch (command) {
    case kCmdAddImage: AddImages(); break;
    case kCmdEdit:
      if (EditInputs(this, app_)) {
        workArea_->Photos().Reload();
        workArea_->InputsChanged();
        workArea_->RunTemplate();
      }
      break;
    case kCmdShowFirstMode: workArea_->SetEditingOriginal(false); break;
    case kCmdShowTemplateMode:
      if (app_.engine.Template()) workArea_->SetEditingOriginal(false);
      break;
    case kCmdShowSecondMode: workArea_->SetEditingOriginal(true); break;
    case kCmdExport: {
      if (CEffectTemplate* effect = app_.engine.Template()) effect->Command(600, 0, 0, nullptr);
      // The export works on the full-size result: produce it first.
      if (app_.engine.Template() && !workArea_->RunFullSize()) {
        exportPending_ = true;
        break;
      }
      Export();
      break;
    }
    case kCmdAddToInput:
      if (app_.engine.IsBusy())
        addToInputPending_ = true;
      else
        workArea_->AddResultToPhotos();
      break;
    case kCmdZoomIn: workArea_->ZoomIn(); break;
    case kCmdZoomOut: workArea_->ZoomOut(); break;
    case kCmdRotateLeft: workArea_->RotateCurrent(-1); break;
    case kCmdRotateRight: workArea_->RotateCurrent(+1); break;
    case kCmdToggleControlPanel: workArea_->TogglePane(); break;
    case kCmdMinimize: showMinimized(); break;
    case kCmdMaximize: showMaximized(); break;
    case kCmdRestore: showNormal(); break;
    case kCmdClose: close(); break;
    default: break;
  }
  RebuildToolBar();
}

void MainWindow::RunMenuCommand(int id) {
  const auto langFolder = app_.programFolder / "lang";
  if (id == kAutoLanguageCommand || (id >= kLanguageFirstCommand && id <= kLanguageLastCommand)) {
    if (id == kAutoLanguageCommand) {
      ChooseAutoLanguage(app_.settings, langFolder, SystemDefaultLangId());
    } else if (const LanguageMenuEntry* entry = FindLanguageEntry(languageEntries_, id)) {
      ChooseLanguage(app_.settings, entry->fileName);
    } else {
      return;
    }
    BuildLanguageMenu();
    RetranslateUi();
    return;
  }
  switch (id) {
    case kMenuOpen: AddImages(); break;
    case kMenuExit: close(); break;
    case kMenuUndo: workArea_->Undo(); break;
    case kMenuRedo: workArea_->Redo(); break;
    case kMenuHelp: OpenHelp(); break;
    case kMenuAbout: ShowAbout(); break;
    default: break;  // Save, Save As and Restore do nothing
  }
}

void MainWindow::AddImages() {
  const QStringList files = QFileDialog::getOpenFileNames(this, app_.QText(kIdsAddImage),
                                                          QString::fromStdString(DocumentsFolder().string()),
                                                          kImageFilter);
  if (!files.isEmpty()) workArea_->AddPhotos(files);
}

void MainWindow::Export() {
  modalOpen_ = true;
  RunExport(this, app_);
  modalOpen_ = false;
}

void MainWindow::AskToQuit() {
  if (modalOpen_) return;
  if (ShowMessage(this, app_.QText(kIdsConfirmQuit), kExitCaption, MessageButtons::OkCancel) == MessageResult::Ok)
    close();
}

void MainWindow::OpenHelp() {
  // The help page is copied to the user's folder and opened from there.
  const auto source = app_.programFolder / kHelpFile;
  const auto target = AppDataFolder() / "Grinsnap Help.html";
  std::error_code error;
  std::filesystem::create_directories(target.parent_path(), error);
  std::filesystem::remove(target, error);
  if (!std::filesystem::copy_file(source, target, error)) return;
  QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(target.string())));
}

void MainWindow::ShowAbout() {
  const QString text = QString("Grinsnap %1\n\nA photo-effects studio.").arg(kVersionText);
  ShowMessage(this, text, app_.language ? QString::fromStdString(app_.language->DialogTitle(kDlgAbout)) : "About",
              MessageButtons::Ok);
}

void MainWindow::ShowTip(int stringId) {
  if (app_.dismissedTips.count(stringId)) return;
  QDialog tip(this);
  tip.setObjectName("TipDialog");
  tip.setWindowTitle(kWindowTitle);
  auto* layout = new QVBoxLayout(&tip);
  auto* text = new QLabel(app_.QText(stringId), &tip);
  text->setWordWrap(true);
  layout->addWidget(text);
  auto* dismiss = new QCheckBox(kTipDismissText, &tip);
  layout->addWidget(dismiss);
  auto* ok = new QPushButton(kTipOkText, &tip);
  QtDialogText::SetControlId(ok, 1);
  layout->addWidget(ok, 0, Qt::AlignRight);
  connect(ok, &QPushButton::clicked, &tip, &QDialog::accept);
  if (app_.language) {
    QtDialogText target(&tip);
    app_.language->ApplyToDialog(target, kTipDialogId);
  }
  tip.exec();
  if (dismiss->isChecked()) app_.dismissedTips.insert(stringId);
}

MessageTarget* MainWindow::MessageReceiver() const { return mainTarget_.get(); }

void MainWindow::OnMainMessage(std::uint32_t message, std::uintptr_t, std::intptr_t) {
  if (message == kMsgCommandState300 || message == kMsgCommandState600 || message == kMsgCommandState800)
    RebuildToolBar();
  if (message == kMsgFaceNotDetected) OnFaceNotDetected();
}

void MainWindow::OnFaceNotDetected() {
  modalOpen_ = true;
  ShowFaceNotice(app_, this);
  modalOpen_ = false;
  // The template's view, where the user can move the face box on the
  // preview, with its panes showing what the face filter settled on.
  if (app_.engine.Template()) workArea_->SetEditingOriginal(false);
  if (CEffectTemplate* effect = app_.engine.Template())
    for (COptionPanel* pane : effect->Panes())
      if (auto* widget = dynamic_cast<OptionPaneWidget*>(pane); widget && widget->HasWindow()) widget->Refresh();
  RebuildToolBar();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* widget = qobject_cast<QWidget*>(watched);
    const bool ours = widget && widget->window() == this;
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (ours && key == Qt::Key_Escape) {
      AskToQuit();
      return true;
    }
    if (ours && key == Qt::Key_F1) {
      OpenHelp();
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  StoreGeometry();
  QMainWindow::closeEvent(event);
}

void MainWindow::StoreGeometry() {
  if (!geometryReady_ || isMaximized() || isMinimized()) return;
  const QRect r = geometry();
  // Rectangles under 800 x 600 are not kept.
  app_.settings.StoreWindowRect({r.left(), r.top(), r.left() + r.width(), r.top() + r.height()});
}

void MainWindow::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  StoreGeometry();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  StoreGeometry();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  QStringList files;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) files << url.toLocalFile();
  if (!files.isEmpty()) workArea_->AddPhotos(files);
  event->acceptProposedAction();
}

}  // namespace grinsnap
