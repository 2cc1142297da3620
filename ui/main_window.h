#pragma once

#include <memory>

#include <QMainWindow>

#include "app/language.h"

class QMenu;
class QToolBar;

namespace grinsnap {

struct AppContext;
class MessageTarget;
class QtMessageTarget;
class VersionCheck;
class WorkArea;

// Menu command identifiers of the main window.
enum MenuCommand : int {
  kMenuOpen = 32797,
  kMenuSave = 32798,
  kMenuSaveAs = 32799,
  kMenuExit = 32800,
  kMenuUndo = 32801,
  kMenuRedo = 32802,
  kMenuRestore = 32803,
  kMenuHelp = 32787,
  kMenuAbout = 32788,
  kMenuCheckUpdate = 32790,
  // Commands of the tool bar that the menus offer too.
  kMenuShowOriginal = 32804,
  kMenuShowResult = 32805,
  kMenuRotateLeft = 32806,
  kMenuRotateRight = 32807,
  kMenuAddToInput = 32808,
  kMenuZoomIn = 32809,
  kMenuZoomOut = 32810,
  kMenuZoomFit = 32811,
  kMenuControlPanel = 32812,
  kMenuExport = 32813,
};

// The main window: the tool bar "MainToolBtnBar", the menus, the work area,
// and the keys that reach it from any child (Escape asks to quit, F1 opens
// help). Its rectangle is kept in the settings.
class MainWindow : public QMainWindow {
  Q_OBJECT
public:
  explicit MainWindow(AppContext& app, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Runs a tool-bar or system-bar command by index.
  void RunCommand(int command);
  // Runs a menu command by identifier.
  void RunMenuCommand(int id);
  WorkArea& Work() { return *workArea_; }
  // Rebuilds the tool bar from the current state.
  void RebuildToolBar();
  // Re-reads every text of the window from the language file.
  void RetranslateUi();
  // The one-time tip of a template, unless the user dismissed it.
  void ShowTip(int stringId);
  // Set while a modal sub-dialog (export) is open: Escape does not quit then.
  void SetModalOpen(bool open) { modalOpen_ = open; }
  // The menu action of a command identifier; null when there is none.
  QAction* MenuAction(int id) const;
  // The tool bar's button of a command index; null when it is not shown.
  QAction* ToolBarAction(int command) const;
  // Where the engine and the filters post their messages to the main window.
  MessageTarget* MessageReceiver() const;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

private:
  void BuildMenus();
  void BuildLanguageMenu();
  void AskToQuit();
  void OpenHelp();
  void ShowAbout();
  void AddImages();
  void Export();
  void StoreGeometry();
  void UpdateTitle();
  void UpdateMenuStates();
  void FillToolBar(QToolBar* bar, const std::vector<struct ToolBarEntry>& entries);
  void OnMainMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);
  void OnFaceNotDetected();
  // A newer version than this one is published: offers the download page.
  void OnNewVersion(int version);
  // The update dialog (settings menu).
  void CheckForUpdate();

  AppContext& app_;
  WorkArea* workArea_ = nullptr;
  QToolBar* toolBar_ = nullptr;
  QToolBar* modeBar_ = nullptr;
  QMenu* viewMenu_ = nullptr;
  QMenu* fileMenu_ = nullptr;
  QMenu* editMenu_ = nullptr;
  QMenu* settingsMenu_ = nullptr;
  QMenu* languageMenu_ = nullptr;
  LanguageMenu languageEntries_;
  std::unique_ptr<QtMessageTarget> mainTarget_;
  std::unique_ptr<VersionCheck> startupCheck_;
  bool modalOpen_ = false;
  bool exportPending_ = false;
  bool addToInputPending_ = false;
  bool geometryReady_ = false;
  bool quitConfirmed_ = false;
};

}  // namespace grinsnap
