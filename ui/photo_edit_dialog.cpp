#include "ui/photo_edit_dialog.h"

#include <algorithm>
#include <cmath>

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <opencv2/imgproc.hpp>

#include "app/string_table.h"
#include "core/photo_item.h"
#include "ui/app_context.h"
#include "ui/palette.h"
#include "ui/qt_image.h"
#include "ui/qt_language.h"

namespace grinsnap {

namespace {

// The dialog edits a copy of each photo fitted into this box: large enough
// to judge the result, small enough to re-render on every slider step.
// Fractions (crop) and the caption's size relative to the picture are the
// same at any scale, so the preview matches the full-size result.
constexpr int kWorkingSide = 1024;
constexpr int kResultBoxWidth = 240;
constexpr int kResultBoxHeight = 180;
constexpr int kEditRange = 100;
// A crop box is never smaller than this fraction of the picture on a side.
constexpr float kMinCropFraction = 0.02f;
constexpr qreal kHandleReach = 8.0;


}  // namespace

// ---- CropCanvas ----

CropCanvas::CropCanvas(QWidget* parent) : QWidget(parent) {
  setMinimumSize(480, 360);
  setMouseTracking(false);
  setCursor(Qt::CrossCursor);
}

void CropCanvas::SetPicture(const QImage& picture) {
  picture_ = picture;
  update();
}

void CropCanvas::SetCrop(const std::array<float, 4>& crop) {
  crop_ = crop;
  update();
}

QRectF CropCanvas::PictureRect() const {
  if (picture_.isNull()) return {};
  const QRectF area = QRectF(rect()).adjusted(10, 10, -10, -10);
  if (area.width() <= 0 || area.height() <= 0) return {};
  const qreal scale = std::min(area.width() / picture_.width(), area.height() / picture_.height());
  const QSizeF size(picture_.width() * scale, picture_.height() * scale);
  return {area.center() - QPointF(size.width() / 2, size.height() / 2), size};
}

QPointF CropCanvas::ToFraction(QPointF point) const {
  const QRectF r = PictureRect();
  if (r.isEmpty()) return {};
  return {std::clamp((point.x() - r.left()) / r.width(), 0.0, 1.0),
          std::clamp((point.y() - r.top()) / r.height(), 0.0, 1.0)};
}

void CropCanvas::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor(0xe4, 0xe4, 0xe4));
  const QRectF r = PictureRect();
  if (r.isEmpty()) return;
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(r, picture_);

  const QRectF box(r.left() + crop_[0] * r.width(), r.top() + crop_[1] * r.height(), crop_[2] * r.width(),
                   crop_[3] * r.height());
  // What the crop leaves out is dimmed.
  QPainterPath outside;
  outside.addRect(r);
  outside.addRect(box);
  painter.fillPath(outside, QColor(0, 0, 0, 110));
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(kAccent, 2));
  painter.drawRect(box);
  painter.setBrush(Qt::white);
  painter.setPen(QPen(kAccent, 1.5));
  for (const QPointF& corner : {box.topLeft(), box.topRight(), box.bottomRight(), box.bottomLeft()})
    painter.drawRect(QRectF(corner - QPointF(4, 4), QSizeF(8, 8)));
}

void CropCanvas::mousePressEvent(QMouseEvent* event) {
  const QRectF r = PictureRect();
  if (event->button() != Qt::LeftButton || r.isEmpty()) return;
  const QPointF at = event->position();
  const QPointF fraction = ToFraction(at);
  const QRectF box(r.left() + crop_[0] * r.width(), r.top() + crop_[1] * r.height(), crop_[2] * r.width(),
                   crop_[3] * r.height());
  // A corner grabbed: the opposite corner stays where it is.
  const std::array<QPointF, 4> corners = {box.topLeft(), box.topRight(), box.bottomRight(), box.bottomLeft()};
  for (std::size_t i = 0; i < corners.size(); ++i) {
    if (std::hypot(at.x() - corners[i].x(), at.y() - corners[i].y()) <= kHandleReach) {
      const QPointF opposite = corners[(i + 2) % 4];
      anchor_ = ToFraction(opposite);
      drag_ = Drag::Span;
      return;
    }
  }
  if (box.contains(at)) {
    anchor_ = fraction - QPointF(crop_[0], crop_[1]);
    drag_ = Drag::Move;
    return;
  }
  anchor_ = fraction;
  drag_ = Drag::Span;
}

void CropCanvas::SpanTo(QPointF fraction) {
  float left = static_cast<float>(std::min(anchor_.x(), fraction.x()));
  float top = static_cast<float>(std::min(anchor_.y(), fraction.y()));
  float width = static_cast<float>(std::abs(fraction.x() - anchor_.x()));
  float height = static_cast<float>(std::abs(fraction.y() - anchor_.y()));
  // Keep the box usable: grow it away from the anchor, inside the picture.
  width = std::max(width, kMinCropFraction);
  height = std::max(height, kMinCropFraction);
  left = std::min(left, 1.0f - width);
  top = std::min(top, 1.0f - height);
  crop_ = {left, top, width, height};
}

void CropCanvas::mouseMoveEvent(QMouseEvent* event) {
  if (drag_ == Drag::None) return;
  const QPointF fraction = ToFraction(event->position());
  if (drag_ == Drag::Span) {
    SpanTo(fraction);
  } else {
    crop_[0] = std::clamp(static_cast<float>(fraction.x() - anchor_.x()), 0.0f, 1.0f - crop_[2]);
    crop_[1] = std::clamp(static_cast<float>(fraction.y() - anchor_.y()), 0.0f, 1.0f - crop_[3]);
  }
  update();
  emit cropChanged(crop_);
}

void CropCanvas::mouseReleaseEvent(QMouseEvent* event) {
  if (drag_ == Drag::None) return;
  mouseMoveEvent(event);
  drag_ = Drag::None;
}

// ---- PhotoEditDialog ----

PhotoEditDialog::PhotoEditDialog(std::vector<PhotoEditTarget> targets, QWidget* parent) : QDialog(parent) {
  setWindowTitle(App().QText(kIdsEdit));
  setStyleSheet("QDialog { background: #f0f0f0; } QLabel { color: #333333; }");

  for (PhotoEditTarget& target : targets) {
    Entry entry;
    entry.edits = CImageObj::GetEdits(target.node);
    if (!target.unedited.empty())
      entry.small = ScaleToFit(target.unedited, {kWorkingSide, kWorkingSide}, false, cv::INTER_AREA);
    entry.target = std::move(target);
    entries_.push_back(std::move(entry));
  }

  canvas_ = new CropCanvas(this);
  canvas_->setObjectName("canvas");
  connect(canvas_, &CropCanvas::cropChanged, this, [this](const std::array<float, 4>& crop) {
    if (Entry* e = CurrentEntry()) e->edits.crop = crop;
    RenderResult();
  });

  result_ = new QLabel(this);
  result_->setObjectName("result");
  result_->setFixedSize(kResultBoxWidth, kResultBoxHeight);
  result_->setAlignment(Qt::AlignCenter);
  result_->setStyleSheet("QLabel { background: #e4e4e4; border: 1px solid #d0d0d0; }");

  auto* rotateLeft = new QPushButton(App().QText(kIdsRotateLeft), this);
  rotateLeft->setObjectName("rotateLeft");
  rotateLeft->setToolTip(App().QText(kIdsRotateLeftTip));
  connect(rotateLeft, &QPushButton::clicked, this, &PhotoEditDialog::RotateLeft);
  auto* rotateRight = new QPushButton(App().QText(kIdsRotateRight), this);
  rotateRight->setObjectName("rotateRight");
  rotateRight->setToolTip(App().QText(kIdsRotateRightTip));
  connect(rotateRight, &QPushButton::clicked, this, &PhotoEditDialog::RotateRight);

  const auto makeSlider = [this](const char* name, QLabel*& valueLabel) {
    auto* slider = new QSlider(Qt::Horizontal, this);
    slider->setObjectName(name);
    slider->setRange(-kEditRange, kEditRange);
    slider->setPageStep(10);
    valueLabel = new QLabel("0", this);
    valueLabel->setMinimumWidth(32);
    valueLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return slider;
  };
  brightness_ = makeSlider("brightness", brightnessValue_);
  contrast_ = makeSlider("contrast", contrastValue_);
  connect(brightness_, &QSlider::valueChanged, this, [this](int value) {
    brightnessValue_->setNum(value);
    if (syncing_) return;
    if (Entry* e = CurrentEntry()) e->edits.brightness = value;
    RenderCanvas();
    RenderResult();
  });
  connect(contrast_, &QSlider::valueChanged, this, [this](int value) {
    contrastValue_->setNum(value);
    if (syncing_) return;
    if (Entry* e = CurrentEntry()) e->edits.contrast = value;
    RenderCanvas();
    RenderResult();
  });

  caption_ = new QLineEdit(this);
  caption_->setObjectName("caption");
  caption_->setPlaceholderText(LanguageText(kDlgPhotoEdit, kCtlCaptionHint, "Text along the bottom edge"));
  connect(caption_, &QLineEdit::textChanged, this, [this](const QString& text) {
    if (syncing_) return;
    if (Entry* e = CurrentEntry()) e->edits.caption = text.toStdString();
    RenderResult();
  });

  auto* reset = new QPushButton(tr("Reset"), this);
  reset->setObjectName("reset");
  QtDialogText::SetControlId(reset, kCtlReset);
  reset->setToolTip(LanguageText(kDlgPhotoEdit, kCtlResetTip, "Undo every change to this photo"));
  connect(reset, &QPushButton::clicked, this, &PhotoEditDialog::ResetEdits);

  tools_ = new QWidget(this);
  auto* tools = new QGridLayout(tools_);
  tools->setContentsMargins(0, 0, 0, 0);
  auto* turns = new QHBoxLayout;
  turns->addWidget(rotateLeft);
  turns->addWidget(rotateRight);
  tools->addLayout(turns, 0, 0, 1, 3);
  const auto label = [](const char* text, int controlId, QWidget* parent) {
    auto* made = new QLabel(QString::fromUtf8(text), parent);
    QtDialogText::SetControlId(made, controlId);
    return made;
  };
  tools->addWidget(label("Brightness", kCtlBrightness, tools_), 1, 0);
  tools->addWidget(brightness_, 1, 1);
  tools->addWidget(brightnessValue_, 1, 2);
  tools->addWidget(label("Contrast", kCtlContrast, tools_), 2, 0);
  tools->addWidget(contrast_, 2, 1);
  tools->addWidget(contrastValue_, 2, 2);
  tools->addWidget(label("Caption", kCtlCaption, tools_), 3, 0);
  tools->addWidget(caption_, 3, 1, 1, 2);
  tools->addWidget(reset, 4, 0, 1, 3, Qt::AlignLeft);

  auto* side = new QVBoxLayout;
  side->addWidget(label("Result", kCtlResultLabel, this));
  side->addWidget(result_);
  side->addSpacing(8);
  side->addWidget(tools_);
  side->addStretch(1);

  previous_ = new QPushButton(QStringLiteral("\u25C0"), this);
  previous_->setObjectName("previous");
  next_ = new QPushButton(QStringLiteral("\u25B6"), this);
  next_->setObjectName("next");
  position_ = new QLabel(this);
  connect(previous_, &QPushButton::clicked, this, [this] { ShowPhoto(current_ - 1); });
  connect(next_, &QPushButton::clicked, this, [this] { ShowPhoto(current_ + 1); });
  const bool several = entries_.size() > 1;
  previous_->setVisible(several);
  next_->setVisible(several);
  position_->setVisible(several);

  auto* ok = new QPushButton(tr("OK"), this);
  ok->setObjectName("ok");
  ok->setDefault(true);
  QtDialogText::SetControlId(ok, 1);
  auto* cancel = new QPushButton(tr("Cancel"), this);
  cancel->setObjectName("cancel");
  QtDialogText::SetControlId(cancel, 2);
  connect(ok, &QPushButton::clicked, this, &PhotoEditDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &PhotoEditDialog::reject);

  auto* top = new QHBoxLayout;
  top->addWidget(canvas_, 1);
  top->addLayout(side);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(previous_);
  bottom->addWidget(position_);
  bottom->addWidget(next_);
  bottom->addStretch(1);
  bottom->addWidget(ok);
  bottom->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 1);
  layout->addLayout(bottom);

  if (App().language) {
    QtDialogText texts(this);
    App().language->ApplyToDialog(texts, kDlgPhotoEdit);
  }
  ShowPhoto(0);
}

PhotoEditDialog::~PhotoEditDialog() = default;

PhotoEditDialog::Entry* PhotoEditDialog::CurrentEntry() {
  return entries_.empty() ? nullptr : &entries_[static_cast<std::size_t>(current_)];
}

const PhotoEditDialog::Entry* PhotoEditDialog::CurrentEntry() const {
  return entries_.empty() ? nullptr : &entries_[static_cast<std::size_t>(current_)];
}

const PhotoEdits& PhotoEditDialog::Edits(int index) const {
  static const PhotoEdits kNone;
  if (index < 0 || index >= Count()) return kNone;
  return entries_[static_cast<std::size_t>(index)].edits;
}

void PhotoEditDialog::ShowPhoto(int index) {
  if (entries_.empty()) {
    tools_->setEnabled(false);
    return;
  }
  current_ = std::clamp(index, 0, Count() - 1);
  previous_->setEnabled(current_ > 0);
  next_->setEnabled(current_ < Count() - 1);
  position_->setText(QString::fromStdString(FormatText(
      LanguageText(kDlgPhotoEdit, kCtlPosition, "Photo %d of %d").toStdString(), {std::to_string(current_ + 1),
                                                                                  std::to_string(Count())})));
  // A photo that does not load cannot be edited.
  tools_->setEnabled(!CurrentEntry()->small.empty());
  canvas_->setEnabled(!CurrentEntry()->small.empty());
  SyncControls();
  RenderCanvas();
  RenderResult();
}

void PhotoEditDialog::SyncControls() {
  const Entry* e = CurrentEntry();
  if (!e) return;
  syncing_ = true;
  brightness_->setValue(std::clamp(e->edits.brightness, -kEditRange, kEditRange));
  contrast_->setValue(std::clamp(e->edits.contrast, -kEditRange, kEditRange));
  caption_->setText(QString::fromStdString(e->edits.caption));
  syncing_ = false;
}

void PhotoEditDialog::Turn(int quarterTurns) {
  Entry* e = CurrentEntry();
  if (!e || e->small.empty()) return;
  e->edits.quarterTurns = ((e->edits.quarterTurns + quarterTurns) % 4 + 4) % 4;
  // The crop is kept on the same part of the photo.
  e->edits.crop = TurnCrop(e->edits.crop, quarterTurns);
  RenderCanvas();
  RenderResult();
}

void PhotoEditDialog::RotateLeft() { Turn(-1); }
void PhotoEditDialog::RotateRight() { Turn(1); }

void PhotoEditDialog::SetCrop(const std::array<float, 4>& crop) {
  Entry* e = CurrentEntry();
  if (!e) return;
  e->edits.crop = crop;
  canvas_->SetCrop(crop);
  RenderResult();
}

void PhotoEditDialog::ResetEdits() {
  Entry* e = CurrentEntry();
  if (!e) return;
  e->edits = PhotoEdits{};
  SyncControls();
  RenderCanvas();
  RenderResult();
}

void PhotoEditDialog::RenderCanvas() {
  const Entry* e = CurrentEntry();
  if (!e || e->small.empty()) {
    canvas_->SetPicture({});
    return;
  }
  // The whole turned picture with its tone edits; the crop is drawn over it
  // and the caption belongs to the cropped result only.
  PhotoEdits whole = e->edits;
  whole.crop = {0, 0, 1, 1};
  whole.caption.clear();
  canvas_->SetPicture(ToQImage(ApplyPhotoEdits(e->small, whole)));
  canvas_->SetCrop(e->edits.crop);
}

cv::Mat PhotoEditDialog::ResultPicture() const {
  const Entry* e = CurrentEntry();
  if (!e || e->small.empty()) return {};
  return ApplyPhotoEdits(e->small, e->edits);
}

void PhotoEditDialog::RenderResult() {
  const cv::Mat picture = ResultPicture();
  if (picture.empty()) {
    result_->setText(LanguageText(kDlgPhotoEdit, kCtlNotLoaded, "The photo could not be loaded."));
    return;
  }
  const cv::Mat fitted = ScaleToFit(picture, {kResultBoxWidth - 4, kResultBoxHeight - 4}, true, cv::INTER_AREA);
  result_->setPixmap(QPixmap::fromImage(ToQImage(fitted)));
}

void PhotoEditDialog::accept() {
  for (const Entry& e : entries_)
    if (!e.small.empty()) CImageObj::SetEdits(e.target.node, e.edits, e.target.record);
  QDialog::accept();
}

}  // namespace grinsnap
