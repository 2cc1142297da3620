#include "ui/work_area.h"

#include <map>

#include <QFileInfo>
#include <algorithm>

#include <opencv2/imgproc.hpp>
#include <QRegularExpression>
#include <QHBoxLayout>
#include <QLabel>
#include <QTabBar>
#include <QVBoxLayout>

#include "app/preview_view.h"
#include "app/string_table.h"
#include "app/template_library.h"
#include "core/option_panel.h"
#include "core/template_document.h"
#include "platform/messages.h"
#include "templates/frame_template.h"
#include "ui/app_context.h"
#include "ui/gallery_widget.h"
#include "ui/message_box.h"
#include "ui/option_panes.h"
#include "ui/photo_list.h"
#include "ui/photo_loader.h"
#include "ui/preview_widget.h"
#include "ui/qt_language.h"
#include "ui/qt_message_target.h"

namespace grinsnap {

namespace {

constexpr const char* kLoadFailedCaption = "Error";
constexpr const char* kRenderFailedCaption = "Failed";
// The picture shown while there is no result is at most this big: the
// preview never needs more, and a copy of it costs little.
constexpr int kFallbackBox = 1600;
constexpr std::size_t kShownPhotosKept = 8;

constexpr int kPhotoStripWidth = 140;
constexpr int kSidePanelWidth = 300;
// The message the original-image pane sends its actions with.
constexpr std::uint32_t kMsgOriginalPane = kWmUser + 1200;

}  // namespace

WorkArea::WorkArea(AppContext& app, QWidget* parent) : QWidget(parent), app_(app) {
  setObjectName("ImageProcessDlg");
  notify_ = std::make_unique<QtMessageTarget>([this](std::uint32_t message, WParam wParam, LParam) {
    OnEngineMessage(message, wParam);
    return LParam{0};
  });

  photoList_ = new PhotoList(app_.engine, this);
  photoList_->SetVertical(true);
  photoList_->setFixedWidth(kPhotoStripWidth);
  preview_ = new PreviewWidget(app_.engine, this);
  photoList_->SetPreviewWidget(preview_);

  auto* side = new QWidget(this);
  side->setFixedWidth(kSidePanelWidth);
  auto* sideLayout = new QVBoxLayout(side);
  sideLayout->setContentsMargins(0, 0, 0, 0);
  gallery_ = new GalleryWidget(app_, side);
  // The gallery takes the height the panes do not need.
  sideLayout->addWidget(gallery_, 1);
  paneArea_ = new QWidget(side);
  paneArea_->setObjectName("PaneArea");
  paneLayout_ = new QVBoxLayout(paneArea_);
  paneLayout_->setContentsMargins(0, 0, 0, 0);
  paneArea_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
  paneArea_->hide();
  sideLayout->addWidget(paneArea_, 0);
  // The original-image pane is the work area's own; it shows in original-image mode.
  originalPaneTarget_ = std::make_unique<QtMessageTarget>([this](std::uint32_t message, WParam wParam, LParam) {
    if (message == kMsgOriginalPane) OnOriginalPaneMessage(wParam);
    return LParam{0};
  });
  originalPane_ = new COptionPaneOrgImgDefault(side);
  originalPane_->SetTarget(originalPaneTarget_.get(), kMsgOriginalPane);
  originalPane_->hide();
  originalPane_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
  sideLayout->addWidget(originalPane_, 0);

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->setSpacing(6);
  // The strip shows the photos or, on its second tab, the edit history.
  auto* strip = new QWidget(this);
  auto* stripLayout = new QVBoxLayout(strip);
  stripLayout->setContentsMargins(0, 0, 0, 0);
  stripLayout->setSpacing(2);
  stripTabs_ = new QTabBar(strip);
  stripTabs_->setObjectName("StripTabs");
  stripTabs_->addTab(app_.QText(kIdsPhotosTab));
  stripTabs_->addTab(app_.QText(kIdsHistoryTab));
  stripTabs_->setExpanding(true);
  stripTabs_->setUsesScrollButtons(false);
  stripTabs_->setDocumentMode(true);
  stripTabs_->setElideMode(Qt::ElideRight);
  QFont small = stripTabs_->font();
  small.setPointSizeF(small.pointSizeF() * 0.85);
  stripTabs_->setFont(small);
  stripTabs_->setFixedWidth(kPhotoStripWidth);
  stripLayout->addWidget(stripTabs_);
  stripLayout->addWidget(photoList_, 1);
  layout->addWidget(strip);
  connect(stripTabs_, &QTabBar::currentChanged, this, [this](int mode) {
    photoList_->SetMode(mode);
    photoList_->Reload();
  });
  layout->addWidget(preview_, 1);
  layout->addWidget(side);

  app_.engine.SetNotifyWindow(notify_.get());
  app_.engine.SetPhotoListWindow(&photoList_->Target());

  connect(photoList_, &PhotoList::runTemplate, this, [this] {
    resultAdded_ = false;
    InputsChanged();
    UpdateFallback();
    if (editingOriginal_) ShowOriginal();
    RunTemplate();
    emit stateChanged();
  });
  connect(photoList_, &PhotoList::historyChosen, this, [this](int) {
    RestoreHistoryState();
    emit stateChanged();
  });
  connect(photoList_, &PhotoList::photosRemoved, this, [this] {
    InputsChanged();
    UpdateFallback();
    preview_->ShowResult();
    emit stateChanged();
  });
  connect(photoList_, &PhotoList::commandState, this, [this](std::uint32_t, int) { emit stateChanged(); });
  connect(preview_, &PreviewWidget::filesDropped, this, [this](const QStringList& paths) { AddPhotos(paths); });
  connect(preview_, &PreviewWidget::photoDropped, this, [this](int index, QPoint pos) {
    CEffectTemplate* current = app_.engine.Template();
    if (!current) return;
    if (current->TakesDroppedPhotos()) {
      // Frames put the photo into the window under the drop point.
      const PlacementRecord place{pos.x(), pos.y(), preview_->View().Geometry()};
      current->mouseX = pos.x();
      current->mouseY = pos.y();
      if (app_.engine.PlaceDroppedPhoto(index, &place)) {
        // The dropped photo becomes the chosen one, so that the next run,
        // which hands the chosen photo to the window the drop selected,
        // keeps it there (after a corner drag, say).
        photoList_->ChoosePhoto(index);
        InputsChanged();
        preview_->ShowResult();
        emit stateChanged();
      }
      return;
    }
    // Templates without windows to place photos in take the photo as their input.
    photoList_->ChoosePhoto(index);
    InputsChanged();
    RunTemplate();
  });
  connect(preview_, &PreviewWidget::parametersChanged, this, [this](bool finished) {
    if (finished)
      RunTemplate();
    else
      app_.engine.Refresh(), preview_->ShowResult();
  });
  // A double click on the preview downloads the selected online template.
  connect(preview_, &PreviewWidget::doubleClicked, gallery_, &GalleryWidget::DownloadSelected);
  connect(gallery_, &GalleryWidget::templateChosen, this, [this](TemplateEntry* entry) {
    if (entry) SelectTemplate(*entry);
  });
  connect(gallery_, &GalleryWidget::onlineTemplateChosen, this, [this](TemplateEntry*, const QString& hint) {
    // An online template is not installed yet: no template, and the gallery's hint.
    UseTemplate(nullptr);
    app_.engine.ClearOutput();
    preview_->ShowResult();
    // The hint stands on an empty preview, not over the photo. A download
    // that starts brings no hint of its own: the one showing stays.
    const QString shown = hint.isEmpty() && hintFromGallery_ ? galleryHint_ : hint;
    if (!shown.isEmpty()) {
      preview_->SetFallbackPicture(cv::Mat());
      preview_->SetHint(shown);
      galleryHint_ = shown;
      hintFromGallery_ = true;
    }
  });

  loader_ = new PhotoLoader(
      [this](const QString& path, PhotoItem& photo, const cv::Mat& display) { PhotoArrived(path, photo, display); },
      kPhotoThumbnailBox, kFallbackBox, this);
  connect(loader_, &PhotoLoader::progress, this, [this] {
    preview_->SetLoading(loader_->Busy());
    UpdateStatus();
  });
  preview_->SetDefaultHint(app_.QText(kIdsEmptyPreviewHint));

  // The library lives as long as the work area.
  app_.library.Read(LibraryEnvironment::Current());
  gallery_->Reload();
}

WorkArea::~WorkArea() {
  // Workers stop first, then the library goes back to disk.
  app_.engine.SetTemplate(nullptr);
  app_.engine.StopThumbnails();
  app_.engine.SetNotifyWindow(nullptr);
  app_.engine.SetPhotoListWindow(nullptr);
  std::string problem;
  if (!app_.library.WriteBack(&problem)) ShowExitWriteProblem(app_, kSaveLibraryErrorText, problem);
  app_.library.Release();
}

QString WorkArea::LoadFailureText(const QString& path) const {
  return QString::fromStdString(
      FormatText(app_.Text(kIdsPhotoLoadFailed), {QFileInfo(path).fileName().toStdString()}));
}

int WorkArea::AddPhotos(const QStringList& paths) {
  QStringList fresh;
  int chosen = -1;
  for (const QString& path : paths) {
    const std::filesystem::path file = path.toStdString();
    const int existing = app_.engine.FindPhoto(file);
    if (existing >= 0) {
      app_.engine.GetPhoto(existing).Reload();  // a photo that failed to load is read again
      chosen = existing;
      continue;
    }
    if (!fresh.contains(path)) fresh << path;
  }
  if (chosen >= 0 && fresh.isEmpty()) {
    photoList_->Reload();
    photoList_->ChoosePhoto(chosen);
    resultAdded_ = false;
    InputsChanged();
    UpdateFallback();
    if (editingOriginal_)
      ShowOriginal();
    else
      RunTemplate();
  }
  // New files are read off the interface thread and join as they arrive.
  loader_->Load(fresh);
  emit stateChanged();
  return static_cast<int>(fresh.size());
}

bool WorkArea::LoadingPhotos() const { return loader_->Busy(); }

void WorkArea::PhotoArrived(const QString& path, PhotoItem& photo, const cv::Mat& display) {
  if (photo.WorkingImage().empty()) {
    ShowMessage(this, LoadFailureText(path), kLoadFailedCaption, MessageButtons::Ok);
    return;
  }
  // A file added twice while it was being read is in the list already.
  if (app_.engine.FindPhoto(photo.path) >= 0) return;
  // The photo keeps its working image and thumbnail: choosing it later, the
  // thumbnail thread and the preview then never read the file again here.
  app_.engine.InsertPhoto(-1, photo);
  KeepShownPicture(photo, display);
  photoList_->Reload();
  photoList_->ChoosePhoto(app_.engine.GetPhotoCount() - 1);
  resultAdded_ = false;
  InputsChanged();
  preview_->SetFallbackPicture(display);
  currentPhotoName_ = QString::fromStdString(photo.path.filename().string());
  if (hintFromGallery_) {
    hintFromGallery_ = false;
    preview_->SetHint(QString());
  }
  if (editingOriginal_)
    ShowOriginal();
  else
    RunTemplate();
  emit stateChanged();
}

cv::Mat WorkArea::ShownPicture(PhotoItem& photo) {
  for (auto it = shownPhotos_.begin(); it != shownPhotos_.end(); ++it) {
    if (it->source != photo.source.get() || it->rotation != photo.rotation || it->cropRotation != photo.cropRotation ||
        it->crop != photo.crop)
      continue;
    cv::Mat picture = it->picture;
    if (it != shownPhotos_.begin()) {
      ShownPhoto found = std::move(*it);
      shownPhotos_.erase(it);
      shownPhotos_.push_front(std::move(found));
    }
    return picture;
  }
  cv::Mat picture = ScaleToFit(photo.WorkingImage(), {kFallbackBox, kFallbackBox}, false, cv::INTER_AREA);
  KeepShownPicture(photo, picture);
  return picture;
}

void WorkArea::KeepShownPicture(const PhotoItem& photo, const cv::Mat& picture) {
  if (picture.empty() || !photo.source) return;
  std::erase_if(shownPhotos_, [&](const ShownPhoto& kept) { return kept.source == photo.source.get(); });
  shownPhotos_.push_front({photo.source.get(), photo.rotation, photo.cropRotation, photo.crop, picture});
  if (shownPhotos_.size() > kShownPhotosKept) shownPhotos_.pop_back();
}

void WorkArea::UpdateFallback() {
  cv::Mat picture;
  currentPhotoName_.clear();
  if (app_.engine.GetInputCount() > 0) {
    PhotoItem input = app_.engine.GetInput(0);
    picture = ShownPicture(input);
    currentPhotoName_ = QString::fromStdString(input.path.filename().string());
  }
  preview_->SetFallbackPicture(picture);
  if (!picture.empty() && hintFromGallery_) {
    hintFromGallery_ = false;
    preview_->SetHint(QString());
  }
  emit stateChanged();
}

void WorkArea::UpdateStatus() {
  QString text;
  if (loader_->Busy()) {
    text = QString::fromStdString(
        FormatText(app_.Text(kIdsLoadingPhoto), {QFileInfo(loader_->Current()).fileName().toStdString()}));
    if (loader_->Pending() > 1) text += QStringLiteral(" (%1)").arg(loader_->Pending());
  } else if (app_.engine.IsBusy()) {
    text = app_.QText(kIdsApplyingEffect);
  } else if (!app_.engine.Template() && app_.engine.OutputBorrowed() && app_.engine.HistoryPos() >= 0) {
    text = QString::fromStdString(FormatText(app_.Text(kIdsHistoryStep), {std::to_string(app_.engine.HistoryPos() + 1),
                                                                          std::to_string(app_.engine.HistoryCount())}));
  }
  emit statusChanged(text);
}

QString WorkArea::CurrentPhotoName() const { return app_.engine.GetPhotoCount() > 0 ? currentPhotoName_ : QString(); }

void WorkArea::RunTemplate() { Run(false); }

bool WorkArea::RunFullSize() { return Run(true); }

bool WorkArea::Run(bool fullSize) {
  if (!app_.engine.Template()) {
    preview_->ShowResult();
    return true;
  }
  if (app_.engine.GetInputCount() == 0 && app_.engine.GetPhotoCount() > 0)
    app_.engine.SelectSingleInput(app_.engine.CurrentPhoto());
  // An empty view asks the template for its natural size, for this run
  // only: slider drags and later runs render at the preview's size again.
  const cv::Rect previewRect(0, 0, std::max(1, preview_->width()), std::max(1, preview_->height()));
  app_.engine.SetViewRect(fullSize ? cv::Rect() : previewRect);
  app_.engine.SetRequestTag(++runTag_);
  resultAdded_ = false;
  const bool ended = app_.engine.Apply();
  app_.engine.SetViewRect(previewRect);
  if (ended) {
    OnEngineMessage(kMsgResultReady, static_cast<std::uintptr_t>(runTag_));
    return true;
  }
  preview_->SetBusy(true);
  UpdateStatus();
  emit stateChanged();
  return false;
}

MessageTarget* WorkArea::RedrawTarget() { return notify_.get(); }

void WorkArea::OnEngineMessage(std::uint32_t message, std::uintptr_t tag) {
  if (message == kMsgProcessingContinues) {
    preview_->SetBusy(true);
    return;
  }
  if (message == kMsgRepaint) {
    // A quick re-run while a slider moves: shown, not kept in the history.
    if (!app_.engine.IsBusy() && !editingOriginal_) preview_->ShowResult();
    return;
  }
  if (message != kMsgResultReady) return;
  // A result that a later run has overtaken is not shown: the later one
  // follows. Runs the option panes start carry no tag of ours; theirs is
  // the current result when no run is going.
  const bool ours = tag == static_cast<std::uintptr_t>(runTag_);
  if (!ours && (tag != 0 || app_.engine.IsBusy())) return;
  preview_->SetBusy(false);
  const RenderResult result = app_.engine.LastResult();
  if (result.IsFailed()) {
    ShowMessage(this, QString::fromStdString(FormatText(app_.Text(kIdsRenderFailed), {result.message})),
                kRenderFailedCaption, MessageButtons::Ok);
  }
  // Every finished result is a step of the edit history, with what it was
  // made with.
  if (app_.engine.CommitOutputToHistory()) {
    RememberHistoryState();
    unexported_ = true;
  }
  photoList_->Reload();
  if (!editingOriginal_) preview_->ShowResult();
  UpdateStatus();
  emit stateChanged();
  emit resultReady();
}

void WorkArea::ClearPanes() {
  // Panes leave their template's list when they go.
  while (QLayoutItem* item = paneLayout_->takeAt(0)) {
    if (QWidget* widget = item->widget()) widget->deleteLater();
    delete item;
  }
}

void WorkArea::UseTemplate(CEffectTemplate* effect) { UseTemplate(effect, nullptr); }

void WorkArea::UseTemplate(CEffectTemplate* effect, TemplateEntry* entry) {
  chosenEntry_ = entry;
  // Panes of the previous template go first.
  ClearPanes();
  if (effect) effect->SetMainWindow(this);
  preview_->SetHint(QString());
  app_.engine.SetTemplate(effect);
  ShowPanes();
  if (effect && effect->GetHintStringId() != 0) emit tipRequested(effect->GetHintStringId());
  SetEditingOriginal(false);
  RunTemplate();
  emit stateChanged();
}

void WorkArea::SelectTemplate(TemplateEntry& entry) {
  TemplateRef effect(CreateTemplateFromDocument(entry.document, entry.DocumentFolder(), &app_.engine));
  if (!effect) return;
  hintFromGallery_ = false;
  UseTemplate(effect.get(), &entry);
}

bool WorkArea::SelectTemplateByName(const std::string& name) {
  // The gallery shows the chosen template as selected.
  const QString wanted = QString::fromStdString(name);
  for (Qt::CaseSensitivity sensitivity : {Qt::CaseSensitive, Qt::CaseInsensitive})
    for (const auto& column : app_.library.Columns())
      for (const auto& entry : column->entries)
        if (entry->document && QString::fromStdString(entry->name).compare(wanted, sensitivity) == 0) {
          gallery_->MarkSelected(entry.get());
          SelectTemplate(*entry);
          return true;
        }
  return false;
}

void WorkArea::ShowPanes() {
  CEffectTemplate* effect = app_.engine.Template();
  paneArea_->setVisible(false);
  if (!effect) return;
  std::vector<COptionPanel*>* panes = effect->CreateOptionPanes(kTemplateParamPanel);
  if (!panes) return;
  for (COptionPanel* pane : *panes)
    if (auto* widget = dynamic_cast<QWidget*>(pane)) {
      widget->setParent(paneArea_);
      paneLayout_->addWidget(widget);
      widget->setVisible(paneShown_);
    }
  paneArea_->setVisible(paneShown_ && !editingOriginal_ && paneLayout_->count() > 0);
}

bool WorkArea::HasOptionPane() const {
  CEffectTemplate* effect = app_.engine.Template();
  return effect && !effect->Panes().empty();
}

bool WorkArea::PaneShown() const { return paneShown_; }

void WorkArea::TogglePane() {
  paneShown_ = !paneShown_;
  for (int i = 0; i < paneLayout_->count(); ++i)
    if (QWidget* widget = paneLayout_->itemAt(i)->widget()) widget->setVisible(paneShown_);
  paneArea_->setVisible(paneShown_ && !editingOriginal_ && paneLayout_->count() > 0);
  emit stateChanged();
}

void WorkArea::ZoomIn() {
  preview_->ZoomIn();
}

void WorkArea::ZoomOut() {
  preview_->ZoomOut();
}

void WorkArea::ZoomToFit() { preview_->ZoomToFit(); }

void WorkArea::Undo() {
  // Stepping through the history lets go of the template, and so of its
  // panes; the entry stepped to brings its own back.
  ClearPanes();
  app_.engine.Undo();
  RestoreHistoryState();
  photoList_->Reload();
  emit stateChanged();
}

void WorkArea::Redo() {
  ClearPanes();
  app_.engine.Redo();
  RestoreHistoryState();
  photoList_->Reload();
  emit stateChanged();
}

void WorkArea::RememberHistoryState() {
  const int position = app_.engine.HistoryPos();
  if (position < 0 || position >= app_.engine.HistoryCount()) return;
  HistoryState state;
  state.entry = chosenEntry_;
  state.inputs = app_.engine.InputPhotoIndices();
  for (int i = 0; i < paneLayout_->count(); ++i)
    if (auto* pane = qobject_cast<COptionPane2D*>(paneLayout_->itemAt(i)->widget())) state.sliders = pane->Positions();
  historyStates_[app_.engine.HistoryEntry(position).data] = std::move(state);
  // Entries that left the history take their records along.
  std::erase_if(historyStates_, [this](const auto& record) {
    for (int k = 0; k < app_.engine.HistoryCount(); ++k)
      if (app_.engine.HistoryEntry(k).data == record.first) return false;
    return true;
  });
}

void WorkArea::RestoreHistoryState() {
  CProcessEngine& engine = app_.engine;
  const auto found = engine.Output().empty() ? historyStates_.end() : historyStates_.find(engine.Output().data);
  const HistoryState* state = found == historyStates_.end() ? nullptr : &found->second;
  ClearPanes();
  chosenEntry_ = nullptr;
  TemplateRef effect;
  if (state && state->entry && state->entry->document)
    effect = TemplateRef(CreateTemplateFromDocument(state->entry->document, state->entry->DocumentFolder(), &engine));
  if (effect) {
    // The inputs it was made from, while they are all still in the list.
    const int count = engine.GetPhotoCount();
    const bool inputsThere = !state->inputs.empty() && std::all_of(state->inputs.begin(), state->inputs.end(),
                                                                   [count](int i) { return i >= 0 && i < count; });
    if (inputsThere) {
      engine.SelectSingleInput(state->inputs.front());
      for (std::size_t i = 1; i < state->inputs.size(); ++i) engine.AddInput(state->inputs[i]);
      InputsChanged();
    }
    // The template takes the place of the released one; the entry's picture
    // stays on show until a change makes a new result.
    effect->SetMainWindow(this);
    engine.SetTemplate(effect.get());
    chosenEntry_ = state->entry;
    ShowPanes();
    for (int i = 0; i < paneLayout_->count(); ++i)
      if (auto* pane = qobject_cast<COptionPane2D*>(paneLayout_->itemAt(i)->widget()))
        pane->SetPositions(state->sliders);
    gallery_->MarkSelected(state->entry);
  } else {
    // Nothing to bring back: the entry is a result to continue from, with
    // no template that a slider could re-run over it.
    engine.SetTemplate(nullptr);
    gallery_->MarkSelected(nullptr);
  }
  UpdateFallback();
  if (!editingOriginal_) preview_->ShowResult();
  UpdateStatus();
}

bool WorkArea::HasResult() const { return !app_.engine.IsBusy() && !app_.engine.Output().empty(); }

bool WorkArea::CanAddResult() const { return !resultAdded_ && HasResult(); }

bool WorkArea::AddResultToPhotos() {
  if (resultAdded_ || app_.engine.IsBusy() || app_.engine.Output().empty()) return false;
  app_.engine.AddOutputAsPhoto();
  resultAdded_ = true;
  photoList_->Reload();
  emit stateChanged();
  return true;
}

void WorkArea::RotateCurrent(int quarterTurns) {
  const int current = app_.engine.CurrentPhoto();
  PhotoItem photo = app_.engine.GetPhoto(current);
  if (photo.IsEmpty()) return;
  photo.rotation += quarterTurns;
  const auto inputs = app_.engine.InputPhotoIndices();
  const auto position = std::find(inputs.begin(), inputs.end(), current);
  app_.engine.UpdatePhotoAndInput(position == inputs.end() ? -1 : static_cast<int>(position - inputs.begin()), photo,
                                  true);
  photoList_->Reload();
  InputsChanged();
  if (editingOriginal_) ShowOriginal();
}

void WorkArea::OnOriginalPaneMessage(std::uintptr_t action) {
  switch (action) {
    case COptionPaneOrgImgDefault::kActionZoomIn: ZoomIn(); break;
    case COptionPaneOrgImgDefault::kActionZoomOut: ZoomOut(); break;
    case COptionPaneOrgImgDefault::kActionRotateLeft: RotateCurrent(-1); break;
    case COptionPaneOrgImgDefault::kActionRotateRight: RotateCurrent(+1); break;
    default: break;  // the clip box of the original image is drawn by the template's overlay
  }
}

void WorkArea::ShowOriginal() {
  PhotoItem photo = app_.engine.GetPhoto(app_.engine.CurrentPhoto());
  preview_->SetPicture(photo.IsEmpty() ? cv::Mat() : photo.WorkingImage());
}

void WorkArea::SetEditingOriginal(bool on) {
  if (editingOriginal_ == on) return;
  editingOriginal_ = on;
  originalPane_->setVisible(on);
  paneArea_->setVisible(!on && paneShown_ && paneLayout_->count() > 0);
  if (on)
    ShowOriginal();
  else
    preview_->SetPicture(cv::Mat());
  if (!on) preview_->ShowResult();
  emit stateChanged();
}

void WorkArea::RetranslateUi() {
  stripTabs_->setTabText(0, app_.QText(kIdsPhotosTab));
  stripTabs_->setTabText(1, app_.QText(kIdsHistoryTab));
  preview_->SetDefaultHint(app_.QText(kIdsEmptyPreviewHint));
  gallery_->RetranslateUi();
  if (hintFromGallery_) preview_->SetHint(gallery_->SelectedHint());
  if (app_.language) {
    QtDialogText texts(this);
    app_.language->ApplyToDialog(texts, kDlgWorkArea);
  }
  // Every pane re-reads its texts on the language-changed message.
  std::vector<OptionPaneWidget*> panes{originalPane_};
  for (int i = 0; i < paneLayout_->count(); ++i)
    if (auto* pane = qobject_cast<OptionPaneWidget*>(paneLayout_->itemAt(i)->widget())) panes.push_back(pane);
  for (OptionPaneWidget* pane : panes) pane->Messages()->Send(kMsgLanguageChanged, 0, 0);
  UpdateStatus();
  update();
}

void WorkArea::InputsChanged() { gallery_->InputsChanged(); }

}  // namespace grinsnap
