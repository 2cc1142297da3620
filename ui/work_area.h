#pragma once

#include <array>
#include <deque>
#include <map>
#include <memory>
#include <vector>

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
class PhotoLoader;
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

  // Adds picture files: a file already in the list is selected instead; new
  // files are read on the loader's thread and join the list one by one as
  // they arrive (the last one becomes the input), a file that does not load
  // is reported then. Returns how many files are being read.
  int AddPhotos(const QStringList& paths);
  // Whether files are still being read.
  bool LoadingPhotos() const;
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
  // The same for a template made from a gallery entry, which a history step
  // made with it brings back.
  void UseTemplate(CEffectTemplate* effect, TemplateEntry* entry);

  void ZoomIn();
  void ZoomOut();
  void ZoomToFit();
  void Undo();
  void Redo();
  // Inserts the current result as the first photo; false when there is none
  // or it was added already.
  bool AddResultToPhotos();
  // There is a finished result on show (not the photo itself).
  bool HasResult() const;
  // "Add To Input" can add the result now.
  bool CanAddResult() const;
  // A result was made that no export has written yet.
  bool HasUnexportedResult() const { return unexported_; }
  void MarkExported() { unexported_ = false; }
  // The current photo's file name, "" when there is none or it has no file.
  QString CurrentPhotoName() const;
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
  // The status line's text for long work; empty when there is none.
  void statusChanged(const QString& text);

private:
  void OnEngineMessage(std::uint32_t message, std::uintptr_t wParam);
  bool Run(bool fullSize);
  void ShowOriginal();
  // The current photo as the preview's picture while there is no result.
  void UpdateFallback();
  // A photo the loader read: joins the list, or its failure is told.
  void PhotoArrived(const QString& path, PhotoItem& photo, const cv::Mat& display);
  // The picture shown for a photo while there is no result, kept for the
  // photos shown last so that choosing one again scales nothing.
  struct ShownPhoto {
    const void* source = nullptr;
    int rotation = 0;
    int cropRotation = 0;
    std::array<float, 4> crop{};
    cv::Mat picture;
  };
  cv::Mat ShownPicture(PhotoItem& photo);
  void KeepShownPicture(const PhotoItem& photo, const cv::Mat& picture);
  void UpdateStatus();
  // What a history entry was made with: the gallery entry of its template,
  // the 2D pane's slider positions and the input photos.
  struct HistoryState {
    TemplateEntry* entry = nullptr;
    std::vector<int> sliders;
    std::vector<int> inputs;
  };
  // After a result became the newest history entry.
  void RememberHistoryState();
  // After the history position moved: the entry on show gets its template,
  // gallery mark and sliders back, or, with nothing to bring back, is shown
  // as a result to continue from, without a template.
  void RestoreHistoryState();

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
  bool unexported_ = false;
  PhotoLoader* loader_ = nullptr;
  TemplateEntry* chosenEntry_ = nullptr;  // the gallery entry of the current template
  bool hintFromGallery_ = false;          // the preview shows the gallery's download hint
  QString galleryHint_;  // the gallery's hint last shown
  std::map<const void*, HistoryState> historyStates_;
  std::deque<ShownPhoto> shownPhotos_;  // newest first
  QString currentPhotoName_;
};

}  // namespace grinsnap
