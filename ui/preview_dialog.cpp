#include "ui/preview_dialog.h"

#include <algorithm>

#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/atomic_file.h"
#include "app/export_rules.h"
#include "app/language.h"
#include "app/string_table.h"
#include "platform/folders.h"
#include "ui/app_context.h"
#include "ui/qt_image.h"
#include "ui/export_dialog.h"
#include "ui/photo_edit_dialog.h"
#include "ui/qt_language.h"
#include "ui/share_flow.h"

namespace grinsnap {

// ---- FittedPictureView ----

FittedPictureView::FittedPictureView(QWidget* parent) : QWidget(parent) { setMinimumSize(480, 360); }

void FittedPictureView::SetPicture(const cv::Mat& picture) {
  picture_ = ToQImage(picture);
  update();
}

void FittedPictureView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor(0xe4, 0xe4, 0xe4));
  if (picture_.isNull()) return;
  const QRectF area = QRectF(rect()).adjusted(8, 8, -8, -8);
  const qreal scale = std::min(area.width() / picture_.width(), area.height() / picture_.height());
  const QSizeF size(picture_.width() * scale, picture_.height() * scale);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(QRectF(area.center() - QPointF(size.width() / 2, size.height() / 2), size), picture_);
}

// ---- PreviewDialog ----

PreviewDialog::PreviewDialog(AppContext& app, const cv::Mat& result, const PhotoItem& sourcePhoto,
                             std::string exportPath, QWidget* parent)
    : QDialog(parent), app_(app), photo_(PhotoItem::FromImage(result)), exportPath_(std::move(exportPath)) {
  // The preview photo carries the source photo's title and description into
  // the saved file.
  if (sourcePhoto.editRecord) {
    photo_.editRecord->title = sourcePhoto.editRecord->title;
    photo_.editRecord->description = sourcePhoto.editRecord->description;
  }
  photo_.editRecord->pathsFilled = true;
  photoName_ = sourcePhoto.path.stem().string();
  photoFile_ = sourcePhoto.path;
  WriteTempFile(sourcePhoto.path.string());

  setWindowTitle(tr("Preview"));
  setStyleSheet("QDialog { background: #f0f0f0; }");
  view_ = new FittedPictureView(this);
  view_->setObjectName("picture");
  view_->SetPicture(photo_.WorkingImage());

  auto* edit = new QPushButton(app_.QText(kIdsEdit), this);
  edit->setObjectName("edit");
  edit->setToolTip(app_.QText(kIdsEditTip));
  QtDialogText::SetControlId(edit, kCtlEdit);
  connect(edit, &QPushButton::clicked, this, [this] { EditPhoto(); });
  auto* save = new QPushButton(tr("Save"), this);
  save->setObjectName("save");
  save->setDefault(true);
  QtDialogText::SetControlId(save, kCtlSave);
  connect(save, &QPushButton::clicked, this, &PreviewDialog::Save);
  auto* close = new QPushButton(tr("Close"), this);
  close->setObjectName("close");
  QtDialogText::SetControlId(close, kCtlClose);
  connect(close, &QPushButton::clicked, this, &PreviewDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(edit);
  buttons->addStretch(1);
  // One share button a service, in the order of the wizard's service index.
  const std::pair<share::ShareService, const char*> services[] = {{share::ShareService::Facebook, "Facebook"},
                                                                  {share::ShareService::Twitter, "Twitter"},
                                                                  {share::ShareService::Flickr, "Flickr"},
                                                                  {share::ShareService::Pixhaven, "Pixhaven"}};
  for (const auto& [service, name] : services) {
    auto* share = new QPushButton(name, this);
    share->setObjectName(QString("share%1").arg(static_cast<int>(service)));
    share->setToolTip(tr("Share on %1").arg(name));
    connect(share, &QPushButton::clicked, this, [this, service] { Share(service); });
    buttons->addWidget(share);
  }
  buttons->addStretch(1);
  buttons->addWidget(save);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(view_, 1);
  layout->addLayout(buttons);
  resize(760, 600);

  if (app_.language) {
    QtDialogText texts(this);
    app_.language->ApplyToDialog(texts, kDlgPreview);
  }
}

PreviewDialog::~PreviewDialog() {
  // The copy was for other programs while the dialog was open; it would
  // otherwise lie in the user's folder until the next export.
  std::error_code error;
  if (!tempFile_.empty()) std::filesystem::remove(tempFile_, error);
}

void PreviewDialog::WriteTempFile(const std::string& sourcePath) {
  const std::filesystem::path folder = AppDataFolder();
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  tempFile_ = PreviewTempFile(folder, sourcePath);
  std::string bytes;
  // The file is a convenience copy for other programs; the dialog works on
  // the picture it holds, so a failed write changes nothing here.
  if (EncodeExportImage(photo_.WorkingImage(), FileExtension(tempFile_.string()), photo_.editRecord->title,
                        photo_.editRecord->description, bytes))
    WriteFileAtomically(tempFile_, bytes);
}

bool PreviewDialog::EditPhoto() {
  if (!photo_.node) CImageObj::AddPhotoListNode(*photo_.editRecord, &photo_.node);
  PhotoEditDialog dialog({{photo_.node, photo_.editRecord.get(), photo_.source->unedited}}, this);
  dialog.exec();
  if (!photo_.editRecord->modified) return false;
  photo_.editRecord->modified = false;
  // The working image is rebuilt from the unedited result and the edits.
  photo_.DropWorkingImage();
  view_->SetPicture(photo_.WorkingImage());
  return true;
}

void PreviewDialog::Save() {
  const cv::Mat& picture = photo_.WorkingImage();
  ExportSource source{picture, photo_.editRecord->title, photo_.editRecord->description, photoName_, photoFile_};
  ExportDialog dialog(app_, std::move(source), exportPath_, this);
  if (dialog.exec() == QDialog::Accepted) saved_ = true;
  exportPath_ = dialog.Path();
}

}  // namespace grinsnap

namespace grinsnap {

void PreviewDialog::Share(share::ShareService service) {
  SharePicture(this, app_, service, photo_.WorkingImage(), photoFile_.empty() ? photoName_ : photoFile_.string());
}

}  // namespace grinsnap
