#pragma once

#include <memory>

#include <QStringList>
#include <QWidget>

#include "core/effect_template.h"
#include "core/option_panel.h"

class QTabBar;
class QVBoxLayout;

namespace grinsnap {

struct AppContext;
class COptionPaneOrgImgDefault;
class GalleryWidget;
class PhotoList;
class PreviewWidget;
class QtMessageTarget;
class TemplateEntry;

// The work area inside the main window: the photo list, the preview, the
// template gallery and the place of the template's option pane. It reads the
// template library when it is created and writes it back when it goes.
class WorkArea : public QWidget, public PaneHost {
  Q_OBJECT
public:
  explicit WorkArea(AppContext& app, QWidget* parent = nullptr);
  ~WorkArea() override;

  // Option panes send their redraw requests here.
  MessageTarget* RedrawTarget() override;

  // Adds picture files: a file already in the list is selected instead, a
  // file that does not load is reported. Returns how many were added.
  int AddPhotos(const QStringList& paths);
  // Runs the current template on the inputs at the preview's size.
  void RunTemplate();
  // Runs it at the photos' full size (for saving); false while that goes on
  // in the background (resultReady follows).
  bool RunFullSize();
  void SelectTemplate(TemplateEntry& entry);
  // The library's template of this name (exactly, then ignoring case); false when none.
  bool SelectTemplateByName(const std::string& name);
  // Makes the template current (the engine takes its own reference).
  void UseTemplate(CEffectTemplate* effect);

  void ZoomIn();
  void ZoomOut();
  void Undo();
  void Redo();
  // Inserts the current result as the first photo; false when there is none
  // or it was added already.
  bool AddResultToPhotos();
  // Quarter turns of the current photo (original-image mode).
  void RotateCurrent(int quarterTurns);
  // Shows the original photo instead of the result, or the result again.
  void SetEditingOriginal(bool on);
  bool EditingOriginal() const { return editingOriginal_; }
  bool HasOptionPane() const;
  bool PaneShown() const;
  void TogglePane();
  // Rebuilds the work area's texts after a language change.
  void RetranslateUi();
  // The inputs changed: the gallery renders its thumbnails from them.
  void InputsChanged();

  PreviewWidget& Preview() { return *preview_; }
  PhotoList& Photos() { return *photoList_; }
  GalleryWidget& Gallery() { return *gallery_; }

signals:
  // Something the tool bar depends on changed.
  void stateChanged();
  // A template asks for its one-time tip (string id).
  void tipRequested(int stringId);
  // A run of the template has finished and its result is shown.
  void resultReady();

private:
  void OnEngineMessage(std::uint32_t message, std::uintptr_t wParam);
  bool Run(bool fullSize);
  void ShowOriginal();

  void ShowPanes();
  void ClearPanes();
  void OnOriginalPaneMessage(std::uintptr_t action);
  QString LoadFailureText(const QString& path) const;

  AppContext& app_;
  PhotoList* photoList_ = nullptr;
  QTabBar* stripTabs_ = nullptr;
  PreviewWidget* preview_ = nullptr;
  GalleryWidget* gallery_ = nullptr;
  QWidget* paneArea_ = nullptr;
  QVBoxLayout* paneLayout_ = nullptr;
  std::unique_ptr<QtMessageTarget> notify_;
  std::unique_ptr<QtMessageTarget> originalPaneTarget_;
  COptionPaneOrgImgDefault* originalPane_ = nullptr;
  bool editingOriginal_ = false;
  bool resultAdded_ = false;  // "Add To Input" was done for the current result
  bool paneShown_ = true;
  int runTag_ = 0;
};

}  // namespace grinsnap
