#include "ui/work_area.h"

#include <map>

#include <QFileInfo>
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
#include "ui/preview_widget.h"
#include "ui/qt_message_target.h"

namespace grinsnap {

namespace {

// Texts without a string id of their own.
constexpr const char* kLoadFailedText = "The picture \"%1\" could not be opened. It may be damaged, too large, or "
                                        "in a format Grinsnap does not read.";
constexpr const char* kLoadFailedCaption = "Error";
constexpr const char* kRenderFailedText = "The effect could not be applied to this photo: %1.";
constexpr const char* kRenderFailedCaption = "Failed";
constexpr const char* kPhotosTab = "Photos";
constexpr const char* kHistoryTab = "History";

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
  sideLayout->addWidget(gallery_, 3);
  paneArea_ = new QWidget(side);
  paneLayout_ = new QVBoxLayout(paneArea_);
  paneLayout_->setContentsMargins(0, 0, 0, 0);
  sideLayout->addWidget(paneArea_, 2);
  // The original-image pane is the work area's own; it shows in original-image mode.
  originalPaneTarget_ = std::make_unique<QtMessageTarget>([this](std::uint32_t message, WParam wParam, LParam) {
    if (message == kMsgOriginalPane) OnOriginalPaneMessage(wParam);
    return LParam{0};
  });
  originalPane_ = new COptionPaneOrgImgDefault(side);
  originalPane_->SetTarget(originalPaneTarget_.get(), kMsgOriginalPane);
  originalPane_->hide();
  sideLayout->addWidget(originalPane_);

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
  stripTabs_->addTab(kPhotosTab);
  stripTabs_->addTab(kHistoryTab);
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
    if (editingOriginal_) ShowOriginal();
    RunTemplate();
    emit stateChanged();
  });
  connect(photoList_, &PhotoList::historyChosen, this, [this](int) {
    preview_->ShowResult();
    emit stateChanged();
  });
  connect(photoList_, &PhotoList::photosRemoved, this, [this] {
    InputsChanged();
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
  connect(gallery_, &GalleryWidget::templateChosen, this, [this](TemplateEntry* entry) {
    if (entry) SelectTemplate(*entry);
  });
  connect(gallery_, &GalleryWidget::onlineTemplateChosen, this, [this](TemplateEntry*, const QString& hint) {
    // An online template is not installed yet: no template, and the gallery's hint.
    UseTemplate(nullptr);
    app_.engine.ClearOutput();
    preview_->ShowResult();
    if (!hint.isEmpty()) preview_->SetHint(hint);
  });

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
  return QString(kLoadFailedText).arg(QFileInfo(path).fileName());
}

int WorkArea::AddPhotos(const QStringList& paths) {
  int added = 0;
  int chosen = -1;
  for (const QString& path : paths) {
    const std::filesystem::path file = path.toStdString();
    const int existing = app_.engine.FindPhoto(file);
    if (existing >= 0) {
      app_.engine.GetPhoto(existing).Reload();  // a photo that failed to load is read again
      chosen = existing;
      continue;
    }
    PhotoItem photo(file);
    if (photo.WorkingImage().empty()) {
      ShowMessage(this, LoadFailureText(path), kLoadFailedCaption, MessageButtons::Ok);
      continue;
    }
    photo.DropWorkingImage();
    app_.engine.InsertPhoto(-1, photo);
    chosen = app_.engine.GetPhotoCount() - 1;
    ++added;
  }
  if (chosen >= 0) {
    photoList_->Reload();
    photoList_->ChoosePhoto(chosen);
    resultAdded_ = false;
    InputsChanged();
    if (editingOriginal_)
      ShowOriginal();
    else
      RunTemplate();
  }
  emit stateChanged();
  return added;
}

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
    ShowMessage(this, QString(kRenderFailedText).arg(QString::fromStdString(result.message)), kRenderFailedCaption,
                MessageButtons::Ok);
  }
  // Every finished result is a step of the edit history.
  app_.engine.CommitOutputToHistory();
  photoList_->Reload();
  if (!editingOriginal_) preview_->ShowResult();
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

void WorkArea::UseTemplate(CEffectTemplate* effect) {
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
  UseTemplate(effect.get());
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
  if (!effect) return;
  std::vector<COptionPanel*>* panes = effect->CreateOptionPanes(kTemplateParamPanel);
  if (!panes) return;
  for (COptionPanel* pane : *panes)
    if (auto* widget = dynamic_cast<QWidget*>(pane)) {
      widget->setParent(paneArea_);
      paneLayout_->addWidget(widget);
      widget->setVisible(paneShown_);
    }
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
  emit stateChanged();
}

void WorkArea::ZoomIn() {
  preview_->ZoomIn();
}

void WorkArea::ZoomOut() {
  preview_->ZoomOut();
}

void WorkArea::Undo() {
  // Stepping through the history lets go of the template, and so of its panes.
  ClearPanes();
  app_.engine.Undo();
  preview_->ShowResult();
  photoList_->Reload();
  emit stateChanged();
}

void WorkArea::Redo() {
  ClearPanes();
  app_.engine.Redo();
  preview_->ShowResult();
  photoList_->Reload();
  emit stateChanged();
}

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
  paneArea_->setVisible(!on);
  if (on)
    ShowOriginal();
  else
    preview_->SetPicture(cv::Mat());
  if (!on) preview_->ShowResult();
  emit stateChanged();
}

void WorkArea::RetranslateUi() {
  gallery_->RetranslateUi();
  update();
}

void WorkArea::InputsChanged() { gallery_->InputsChanged(); }

}  // namespace grinsnap
