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
#include "ui/version_dialog.h"
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
constexpr int kTipDismissId = 1002;

QAction* AddCommand(QMenu* menu, const char* text, int id, QList<QKeySequence> keys = {}) {
  QAction* action = menu->addAction(QString::fromUtf8(text));
  action->setData(id);
  if (!keys.isEmpty()) {
    action->setShortcuts(keys);
    // Shortcuts work wherever the focus is in the window.
    action->setShortcutContext(Qt::WindowShortcut);
  }
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
  // The view and the result's commands, at the right of the main bar.
  modeBar_ = new QToolBar(this);
  modeBar_->setObjectName("ModeBar");
  modeBar_->setMovable(false);
  modeBar_->setToolButtonStyle(Qt::ToolButtonTextOnly);
  addToolBar(Qt::TopToolBarArea, modeBar_);
  statusBar()->setSizeGripEnabled(true);

  workArea_ = new WorkArea(app_, this);
  setCentralWidget(workArea_);
  connect(workArea_, &WorkArea::stateChanged, this, &MainWindow::RebuildToolBar);
  connect(workArea_, &WorkArea::tipRequested, this, &MainWindow::ShowTip);
  connect(workArea_, &WorkArea::statusChanged, this, [this](const QString& text) {
    if (text.isEmpty())
      statusBar()->clearMessage();
    else
      statusBar()->showMessage(text);
  });
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

  // The quiet check for a newer version; only a newer version is reported.
  SetVersionResultTarget(mainTarget_.get());
  startupCheck_ = StartStartupVersionCheck(app_);
}

MainWindow::~MainWindow() {
  if (VersionResultTarget() == mainTarget_.get()) SetVersionResultTarget(nullptr);
  startupCheck_.reset();
  qApp->removeEventFilter(this);
  app_.engine.SetMainWindow(nullptr);
}

void MainWindow::BuildMenus() {
  fileMenu_ = menuBar()->addMenu("&File");
  AddCommand(fileMenu_, "&Open...", kMenuOpen, {QKeySequence(Qt::CTRL | Qt::Key_O)});
  AddCommand(fileMenu_, "&Export...", kMenuExport,
             {QKeySequence(Qt::CTRL | Qt::Key_E), QKeySequence(Qt::CTRL | Qt::Key_S)});
  AddCommand(fileMenu_, "&Save", kMenuSave)->setEnabled(false);
  AddCommand(fileMenu_, "Save &As...", kMenuSaveAs)->setEnabled(false);
  fileMenu_->addSeparator();
  AddCommand(fileMenu_, "E&xit", kMenuExit, {QKeySequence(Qt::CTRL | Qt::Key_Q)});
  editMenu_ = menuBar()->addMenu("&Edit");
  AddCommand(editMenu_, "&Undo", kMenuUndo, {QKeySequence(Qt::CTRL | Qt::Key_Z)});
  AddCommand(editMenu_, "&Redo", kMenuRedo,
             {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
  AddCommand(editMenu_, "R&estore", kMenuRestore)->setEnabled(false);
  editMenu_->addSeparator();
  AddCommand(editMenu_, "&Add To Input", kMenuAddToInput);
  viewMenu_ = menuBar()->addMenu("&View");
  AddCommand(viewMenu_, "Zoom &In", kMenuZoomIn,
             {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
  AddCommand(viewMenu_, "Zoom &Out", kMenuZoomOut, {QKeySequence(Qt::CTRL | Qt::Key_Minus)});
  AddCommand(viewMenu_, "&Fit In Window", kMenuZoomFit, {QKeySequence(Qt::CTRL | Qt::Key_0)});
  viewMenu_->addSeparator();
  AddCommand(viewMenu_, "&Original Image", kMenuShowOriginal)->setCheckable(true);
  AddCommand(viewMenu_, "&Result", kMenuShowResult)->setCheckable(true);
  AddCommand(viewMenu_, "Rotate &Left", kMenuRotateLeft, {QKeySequence(Qt::CTRL | Qt::Key_L)});
  AddCommand(viewMenu_, "Rotate R&ight", kMenuRotateRight, {QKeySequence(Qt::CTRL | Qt::Key_R)});
  viewMenu_->addSeparator();
  AddCommand(viewMenu_, "&Control Panel", kMenuControlPanel)->setCheckable(true);
  settingsMenu_ = menuBar()->addMenu("&Settings");
  languageMenu_ = settingsMenu_->addMenu("Language");
  settingsMenu_->addSeparator();
  AddCommand(settingsMenu_, "Help...", kMenuHelp)->setShortcut(Qt::Key_F1);
  AddCommand(settingsMenu_, "Check for new update...", kMenuCheckUpdate);
  AddCommand(settingsMenu_, "About", kMenuAbout);
  BuildLanguageMenu();

  for (QMenu* menu : {fileMenu_, editMenu_, viewMenu_, settingsMenu_})
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

void MainWindow::FillToolBar(QToolBar* bar, const std::vector<ToolBarEntry>& entries) {
  bar->clear();
  for (const ToolBarEntry& entry : entries) {
    if (entry.separator) {
      bar->addSeparator();
      continue;
    }
    QAction* action = bar->addAction(app_.QText(entry.captionId));
    action->setToolTip(app_.QText(entry.tooltipId));
    action->setEnabled(entry.enabled);
    action->setData(entry.command);
    if (entry.onPress) {
      connect(action, &QAction::triggered, this, [onPress = entry.onPress, owner = entry.owner] { onPress(owner); });
    } else {
      connect(action, &QAction::triggered, this, [this, command = entry.command] { RunCommand(command); });
    }
  }
}

void MainWindow::RebuildToolBar() {
  ToolBarState state;
  state.editingOriginal = workArea_->EditingOriginal();
  state.templateHasPane = workArea_->HasOptionPane();
  state.paneShown = workArea_->PaneShown();
  state.photoListEmpty = app_.engine.GetPhotoCount() == 0;
  state.hasTemplate = app_.engine.Template() != nullptr;
  state.canAddResult = workArea_->CanAddResult();
  if (CEffectTemplate* effect = app_.engine.Template()) effect->GetToolButtons(state.templateButtons);

  FillToolBar(toolBar_, ComposeToolBar(state));
  FillToolBar(modeBar_, ComposeModeBar(state));
  UpdateMenuStates();
  UpdateTitle();
}

void MainWindow::UpdateMenuStates() {
  const bool photos = app_.engine.GetPhotoCount() > 0;
  const bool original = workArea_->EditingOriginal();
  const auto set = [this](int id, bool enabled) {
    if (QAction* action = MenuAction(id)) action->setEnabled(enabled);
  };
  set(kMenuExport, photos);
  set(kMenuAddToInput, photos && workArea_->CanAddResult());
  set(kMenuZoomIn, photos);
  set(kMenuZoomOut, photos);
  set(kMenuZoomFit, photos);
  set(kMenuShowOriginal, photos);
  set(kMenuShowResult, photos);
  set(kMenuRotateLeft, photos && original);
  set(kMenuRotateRight, photos && original);
  set(kMenuControlPanel, photos && !original && workArea_->HasOptionPane());
  if (QAction* action = MenuAction(kMenuShowOriginal)) action->setChecked(original);
  if (QAction* action = MenuAction(kMenuShowResult)) action->setChecked(!original);
  if (QAction* action = MenuAction(kMenuControlPanel)) action->setChecked(workArea_->PaneShown());
}

void MainWindow::UpdateTitle() {
  QString program = kWindowTitle;
  if (app_.language) {
    const std::string title = app_.language->DialogTitle(kDlgMainWindow);
    if (!title.empty()) program = QString::fromStdString(title);
  }
  const QString photo = workArea_->CurrentPhotoName();
  setWindowTitle(photo.isEmpty() ? program : photo + QStringLiteral(" – ") + program);
}

QAction* MainWindow::MenuAction(int id) const {
  for (QMenu* menu : {fileMenu_, editMenu_, viewMenu_, settingsMenu_})
    for (QAction* action : menu->actions())
      if (!action->isSeparator() && !action->menu() && action->data().toInt() == id) return action;
  return nullptr;
}

QAction* MainWindow::ToolBarAction(int command) const {
  for (QToolBar* bar : {toolBar_, modeBar_})
    for (QAction* action : bar->actions())
      if (!action->isSeparator() && action->data().toInt() == command) return action;
  return nullptr;
}

void MainWindow::RetranslateUi() {
  if (app_.language) {
    QtDialogText dialog(this);
    app_.language->ApplyToDialog(dialog, kDlgMainWindow);
    QtMenuText bar(menuBar());
    app_.language->ApplyToMenu(bar);
    // The settings pop-up numbers its sub-menus after the menu bar's.
    QtMenuText settings(settingsMenu_);
    app_.language->ApplyToMenu(settings, 0);
  }
  workArea_->RetranslateUi();
  RebuildToolBar();
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
      if (!workArea_->HasResult()) break;
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
    case kMenuExport: RunCommand(kCmdExport); break;
    case kMenuAddToInput: RunCommand(kCmdAddToInput); break;
    case kMenuZoomIn: RunCommand(kCmdZoomIn); break;
    case kMenuZoomOut: RunCommand(kCmdZoomOut); break;
    case kMenuZoomFit: workArea_->ZoomToFit(); break;
    case kMenuShowOriginal: RunCommand(kCmdShowSecondMode); break;
    case kMenuShowResult: RunCommand(app_.engine.Template() ? kCmdShowTemplateMode : kCmdShowFirstMode); break;
    case kMenuRotateLeft:
      if (workArea_->EditingOriginal()) RunCommand(kCmdRotateLeft);
      break;
    case kMenuRotateRight:
      if (workArea_->EditingOriginal()) RunCommand(kCmdRotateRight);
      break;
    case kMenuControlPanel:
      if (workArea_->HasOptionPane()) RunCommand(kCmdToggleControlPanel);
      break;
    case kMenuExit: close(); break;
    case kMenuUndo: workArea_->Undo(); break;
    case kMenuRedo: workArea_->Redo(); break;
    case kMenuHelp: OpenHelp(); break;
    case kMenuAbout: ShowAbout(); break;
    case kMenuCheckUpdate: CheckForUpdate(); break;
    default: break;  // Save, Save As and Restore do nothing
  }
  RebuildToolBar();
}

void MainWindow::AddImages() {
  const QStringList files = QFileDialog::getOpenFileNames(this, app_.QText(kIdsAddImage),
                                                          QString::fromStdString(DocumentsFolder().string()),
                                                          kImageFilter);
  if (!files.isEmpty()) workArea_->AddPhotos(files);
}

void MainWindow::Export() {
  // Nothing to export before there is a photo: the command is off then.
  if (app_.engine.GetPhotoCount() == 0) return;
  modalOpen_ = true;
  if (RunExport(this, app_)) workArea_->MarkExported();
  modalOpen_ = false;
}

void MainWindow::AskToQuit() {
  if (modalOpen_) return;
  if (ShowMessage(this, app_.QText(kIdsConfirmQuit), kExitCaption, MessageButtons::OkCancel) == MessageResult::Ok) {
    quitConfirmed_ = true;
    close();
  }
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
  const QString text = QString("Grinsnap %1\n\n%2").arg(kVersionText, app_.QText(kIdsAboutText));
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
  QtDialogText::SetControlId(dismiss, kTipDismissId);
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

void MainWindow::OnMainMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
  if (message == kMsgCommandState300 || message == kMsgCommandState600 || message == kMsgCommandState800)
    RebuildToolBar();
  if (message == kMsgFaceNotDetected) OnFaceNotDetected();
  // At start-up only a newer version is worth a word; the failure text is freed.
  if (message == kMsgVersionCheckFailed) delete reinterpret_cast<std::string*>(lParam);
  if (message == kMsgNewVersion) OnNewVersion(static_cast<int>(wParam));
}

void MainWindow::OnNewVersion(int version) {
  (void)version;
  if (modalOpen_) return;
  modalOpen_ = true;
  const int answer =
      ShowMessage(this, app_.QText(kIdsUpgradeQuestion), app_.QText(kIdsNewVersionCaption), MessageButtons::YesNo);
  modalOpen_ = false;
  if (answer == MessageResult::Yes && !app_.site.url.empty())
    QDesktopServices::openUrl(QUrl(QString::fromStdString(app_.site.DownloadPageUrl())));
}

void MainWindow::CheckForUpdate() {
  modalOpen_ = true;
  VersionDialog dialog(app_, this);
  dialog.exec();
  modalOpen_ = false;
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
  // A result that was never exported would be lost: the close button asks
  // what Escape asks. A window going away for other reasons does not.
  if (!quitConfirmed_ && workArea_->HasUnexportedResult() && isVisible()) {
    if (modalOpen_ ||
        ShowMessage(this, app_.QText(kIdsConfirmQuit), kExitCaption, MessageButtons::OkCancel) != MessageResult::Ok) {
      event->ignore();
      return;
    }
  }
  quitConfirmed_ = false;
  StoreGeometry();
  QMainWindow::closeEvent(event);
}

void MainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  // The next start opens maximised again when the window was left so.
  if (event->type() == QEvent::WindowStateChange && geometryReady_ && !isMinimized())
    app_.settings.maximized = isMaximized();
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
