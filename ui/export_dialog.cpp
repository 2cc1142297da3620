#include "ui/export_dialog.h"

#include <filesystem>

#include <QButtonGroup>
#include <QCheckBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>

#include "app/language.h"
#include "app/picture_file.h"
#include "app/string_table.h"
#include "platform/folders.h"
#include "ui/app_context.h"
#include "ui/export_progress_dialog.h"
#include "ui/message_box.h"
#include "ui/qt_language.h"

namespace grinsnap {

namespace {

// What the save dialogs of Browse offer in each mode.
const QStringList kImageFilters = {"All Image Files (*.jpg *.png *.bmp *.webp *.tif)", "JPEG Files (*.jpg)",
                                   "Potable Net Graph (*.png)", "Bitmap Files (*.bmp)", "WebP Files (*.webp)",
                                   "TIFF Files (*.tif)", "All Files (*)"};
const QStringList kGifFilters = {"Graphic Interchange Format (*.gif)"};

QString SizeText(ExportSize size) {
  return QStringLiteral("%1 \u00D7 %2").arg(size.width).arg(size.height);
}

}  // namespace

// ---- RecommendedSizeItem ----

RecommendedSizeItem::RecommendedSizeItem(int index, QWidget* parent)
    : QFrame(parent),
      index_(index),
      name_(new QLabel(QString::fromUtf8(RecommendedSizeLabel(index)), this)),
      size_(new QLabel(this)) {
  setObjectName(QStringLiteral("recommended%1").arg(index));
  setCursor(Qt::PointingHandCursor);
  size_->setStyleSheet("color: #777777;");
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(8, 4, 8, 4);
  layout->addWidget(name_, 1);
  layout->addWidget(size_);
  SetHighlighted(false);
}

void RecommendedSizeItem::SetSize(ExportSize size) { size_->setText(SizeText(size)); }

void RecommendedSizeItem::SetHighlighted(bool on) {
  highlighted_ = on;
  // By object name, so that the labels inside (frames too) keep their own look.
  const QString look = on ? "background: #d6e6f8; border: 1px solid #2f7fd8; border-radius: 3px;"
                          : "background: transparent; border: 1px solid transparent;";
  setStyleSheet(QStringLiteral("#%1 { %2 }").arg(objectName(), look));
}

void RecommendedSizeItem::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) emit clicked(index_);
  QFrame::mousePressEvent(event);
}

// ---- ExportDialog ----

ExportDialog::ExportDialog(AppContext& app, ExportSource source, std::string path, QWidget* parent)
    : QDialog(parent), app_(app), source_(std::move(source)), path_(std::move(path)) {
  const cv::Mat& picture = source_.picture.empty() ? app_.engine.Output() : source_.picture;
  if (!picture.empty()) {
    fields_.source = {picture.cols, picture.rows};
    fields_.width = picture.cols;
    fields_.height = picture.rows;
  }
  if (!source_.name.empty()) path_ = ProposedExportPath(path_, source_.name, source_.file);

  BuildControls();
  ApplyTexts();

  CEffectTemplate* current = app_.engine.Template();
  showing_ = true;
  imageMode_->setChecked(true);
  showing_ = false;
  gifMode_->setEnabled(current && current->CanExportAnimation());
  if (!current) {
    imageMode_->setEnabled(false);
    gifMode_->setEnabled(false);
    ok_->setEnabled(false);
  }
  ShowPath();
  ShowFields();
}

ExportDialog::~ExportDialog() = default;

void ExportDialog::BuildControls() {
  setStyleSheet("QDialog { background: #f0f0f0; } QLabel, QRadioButton, QCheckBox, QGroupBox { color: #333333; }");

  setWindowTitle(app_.QText(kIdsExport));
  auto* modeGroup = new QGroupBox(tr("Export as"), this);
  QtDialogText::SetControlId(modeGroup, kCtlModeGroup);
  imageMode_ = new QRadioButton(tr("Export Image File"), modeGroup);
  imageMode_->setObjectName("image");
  QtDialogText::SetControlId(imageMode_, kCtlImageMode);
  gifMode_ = new QRadioButton(tr("Export GIF Animation"), modeGroup);
  gifMode_->setObjectName("gif");
  QtDialogText::SetControlId(gifMode_, kCtlGifMode);
  auto* modes = new QButtonGroup(this);
  modes->addButton(imageMode_);
  modes->addButton(gifMode_);
  auto* modeLayout = new QHBoxLayout(modeGroup);
  modeLayout->addWidget(imageMode_);
  modeLayout->addWidget(gifMode_);
  modeLayout->addStretch(1);
  connect(imageMode_, &QRadioButton::toggled, this, [this](bool on) {
    if (on && !showing_) ChooseMode(ExportMode::kImage);
  });
  connect(gifMode_, &QRadioButton::toggled, this, [this](bool on) {
    if (on && !showing_) ChooseMode(ExportMode::kGif);
  });

  auto* pathLabel = new QLabel(tr("Path:"), this);
  QtDialogText::SetControlId(pathLabel, kCtlPathLabel);
  pathEdit_ = new QLineEdit(this);
  pathEdit_->setObjectName("path");
  pathEdit_->setMinimumWidth(360);
  connect(pathEdit_, &QLineEdit::textChanged, this, [this](const QString& text) {
    if (!showing_) path_ = text.toStdString();
  });
  auto* browse = new QPushButton(tr("Browse..."), this);
  browse->setObjectName("browse");
  QtDialogText::SetControlId(browse, kCtlBrowse);
  connect(browse, &QPushButton::clicked, this, &ExportDialog::Browse);
  auto* openFolder = new QPushButton(tr("Open Folder"), this);
  openFolder->setObjectName("openFolder");
  QtDialogText::SetControlId(openFolder, kCtlOpenFolder);
  connect(openFolder, &QPushButton::clicked, this, &ExportDialog::OpenFolder);

  auto* sizeGroup = new QGroupBox(tr("Size"), this);
  QtDialogText::SetControlId(sizeGroup, kCtlSizeGroup);
  keepAspect_ = new QCheckBox(tr("Keep the aspect ratio of the original image"), sizeGroup);
  keepAspect_->setObjectName("keepAspect");
  QtDialogText::SetControlId(keepAspect_, kCtlKeepAspect);
  connect(keepAspect_, &QCheckBox::toggled, this, [this](bool on) {
    if (showing_) return;
    ToggleKeepAspect(fields_, on);
    ShowFields();
  });
  auto* widthLabel = new QLabel(tr("Width:"), sizeGroup);
  QtDialogText::SetControlId(widthLabel, kCtlWidthLabel);
  auto* heightLabel = new QLabel(tr("Height:"), sizeGroup);
  QtDialogText::SetControlId(heightLabel, kCtlHeightLabel);
  const auto makeNumberEdit = [sizeGroup](const char* name) {
    auto* edit = new QLineEdit(sizeGroup);
    edit->setObjectName(name);
    edit->setMaxLength(10);
    edit->setFixedWidth(90);
    return edit;
  };
  width_ = makeNumberEdit("width");
  height_ = makeNumberEdit("height");
  connect(width_, &QLineEdit::textChanged, this, [this](const QString& text) {
    if (showing_) return;
    EditWidth(fields_, ParseDecimal(text.toStdString()));
    ShowFields(width_);
  });
  connect(height_, &QLineEdit::textChanged, this, [this](const QString& text) {
    if (showing_) return;
    EditHeight(fields_, ParseDecimal(text.toStdString()));
    ShowFields(height_);
  });

  auto* numbers = new QHBoxLayout;
  numbers->addWidget(widthLabel);
  numbers->addWidget(width_);
  numbers->addSpacing(16);
  numbers->addWidget(heightLabel);
  numbers->addWidget(height_);
  numbers->addStretch(1);
  auto* sizes = new QGridLayout;
  sizes->setHorizontalSpacing(12);
  const ExportSize screen = ScreenSize();
  for (int i = 0; i < kRecommendedSizeCount; ++i) {
    auto* item = new RecommendedSizeItem(i, sizeGroup);
    QtDialogText::SetControlId(item->NameLabel(), kCtlRecommendedFirst + i);
    item->SetSize(RecommendedSize(i, screen));
    connect(item, &RecommendedSizeItem::clicked, this, &ExportDialog::ChooseRecommended);
    recommended_[static_cast<std::size_t>(i)] = item;
    sizes->addWidget(item, i / 2, i % 2);
  }
  auto* sizeLayout = new QVBoxLayout(sizeGroup);
  sizeLayout->addWidget(keepAspect_);
  sizeLayout->addLayout(numbers);
  sizeLayout->addSpacing(4);
  sizeLayout->addLayout(sizes);

  ok_ = new QPushButton(tr("OK"), this);
  ok_->setObjectName("ok");
  ok_->setDefault(true);
  QtDialogText::SetControlId(ok_, kCtlOk);
  connect(ok_, &QPushButton::clicked, this, &ExportDialog::accept);
  auto* cancel = new QPushButton(tr("Cancel"), this);
  cancel->setObjectName("cancel");
  QtDialogText::SetControlId(cancel, kCtlCancel);
  connect(cancel, &QPushButton::clicked, this, &ExportDialog::reject);

  auto* pathRow = new QHBoxLayout;
  pathRow->addWidget(pathLabel);
  pathRow->addWidget(pathEdit_, 1);
  pathRow->addWidget(browse);
  pathRow->addWidget(openFolder);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(modeGroup);
  layout->addLayout(pathRow);
  layout->addWidget(sizeGroup);
  layout->addStretch(1);
  layout->addLayout(buttons);
}

void ExportDialog::ApplyTexts() {
  if (app_.language) {
    QtDialogText target(this);
    app_.language->ApplyToDialog(target, kDlgExport);
  }
}

ExportSize ExportDialog::ScreenSize() const {
  const QScreen* display = screen() ? screen() : QGuiApplication::primaryScreen();
  if (!display) return {};  // no display at all: the label offers 0 x 0
  // Device pixels: the resolution the display itself reports.
  const QSize size = display->size() * display->devicePixelRatio();
  return {size.width(), size.height()};
}

void ExportDialog::ShowFields(const QLineEdit* typing) {
  showing_ = true;
  const auto show = [typing](QLineEdit* edit, int value) {
    if (edit != typing || ParseDecimal(edit->text().toStdString()) != value) edit->setText(QString::number(value));
  };
  show(width_, fields_.width);
  show(height_, fields_.height);
  keepAspect_->setChecked(fields_.keepAspect);
  for (int i = 0; i < kRecommendedSizeCount; ++i)
    recommended_[static_cast<std::size_t>(i)]->SetHighlighted(i == fields_.highlighted);
  showing_ = false;
}

void ExportDialog::ShowPath() {
  showing_ = true;
  pathEdit_->setText(QString::fromStdString(path_));
  showing_ = false;
}

void ExportDialog::ChooseMode(ExportMode mode) {
  mode_ = mode;
  grinsnap::ChooseMode(fields_, path_, mode);
  showing_ = true;
  (mode == ExportMode::kGif ? gifMode_ : imageMode_)->setChecked(true);
  showing_ = false;
  ShowPath();
  ShowFields();
}

void ExportDialog::ChooseRecommended(int index) {
  ChooseRecommendedSize(fields_, index, ScreenSize());
  ShowFields();
}

void ExportDialog::Browse() {
  QFileDialog dialog(this, app_.QText(kIdsExport));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  // The overwrite question comes when the file is written.
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  const bool gif = mode_ == ExportMode::kGif;
  dialog.setDefaultSuffix(gif ? "gif" : "jpg");
  dialog.setNameFilters(gif ? kGifFilters : kImageFilters);
  dialog.selectFile(QString::fromStdString(path_));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  path_ = dialog.selectedFiles().first().toStdString();
  ShowPath();
}

void ExportDialog::OpenFolder() {
  // The nearest folder of the path that exists.
  std::filesystem::path folder = std::filesystem::path(path_).parent_path();
  std::error_code error;
  while (!folder.empty() && !std::filesystem::is_directory(folder, error) && folder != folder.parent_path())
    folder = folder.parent_path();
  if (folder.empty()) return;
  QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(folder.string())));
}

bool ExportDialog::ConfirmOverwrite() {
  // Enter keeps the file: the path may well be a photo of the user's own.
  return ShowMessage(this, app_.QText(kIdsOverwriteFile), kCaptionWarning, MessageButtons::OkCancel,
                     MessageDefault::Safe) == MessageResult::Ok;
}

void ExportDialog::accept() {
  const std::string widthText = width_->text().toStdString();
  const std::string heightText = height_->text().toStdString();
  if (!ExportSizeTextValid(widthText, heightText)) {
    ShowMessage(this, app_.QText(kIdsInvalidExportSize), kCaptionError);
    return;
  }
  if (path_.empty()) return;
  if (mode_ == ExportMode::kImage)
    SaveImage();
  else
    ExportGif();
}

void ExportDialog::SaveImage() {
  const cv::Mat& picture = source_.picture.empty() ? app_.engine.Output() : source_.picture;
  if (picture.empty()) {
    ShowMessage(this, app_.QText(kIdsNoImageToSave), kCaptionNoImage);
    return;
  }
  const ExportSize requested{ParseDecimal(width_->text().toStdString()), ParseDecimal(height_->text().toStdString())};
  const cv::Mat resized = ResizeForExport(picture, requested, fields_.keepAspect);
  std::string written;
  // The picture keeps what the photo says of itself (capture date, place,
  // camera); a photo whose metadata cannot be read is saved without it.
  const PhotoMetadataRead metadata = source_.file.empty() ? PhotoMetadataRead{} : ReadPhotoMetadata(source_.file);
  const SaveResult saved = SaveImageFile(resized, path_, source_.title, source_.description,
                                         [this](const std::string&) { return ConfirmOverwrite(); }, &written,
                                         metadata.metadata.get());
  // A failed or cancelled save says nothing; the dialog stays for another try.
  if (saved != SaveResult::kSaved) return;
  path_ = written;
  ShowPath();
  ShowMessage(this, app_.QText(kIdsSaveImageSucceeded), kCaptionSuccess);
  QDialog::accept();
}

void ExportDialog::ExportGif() {
  CEffectTemplate* current = app_.engine.Template();
  if (!current || !current->CanExportAnimation()) {
    ShowMessage(this, app_.QText(kIdsNoGifTemplate), kCaptionNoGifExport);
    return;
  }
  // The template stays alive while the worker draws the frames.
  current->AddRef();
  const TemplateRef animated(current);
  const int width = ParseDecimal(width_->text().toStdString());
  const int height = ParseDecimal(height_->text().toStdString());
  const auto render = [this, &animated, width, height](const std::string& tempPath) {
    return ExportProgressDialog::Run(this, [&animated, tempPath, width, height](MessageTarget* progress) {
      return animated->SaveAnimation(tempPath, width, height, progress);
    });
  };
  std::string written;
  const int result = ExportGifFile(path_, GifTempFile(AppDataFolder()),
                                   [this](const std::string&) { return ConfirmOverwrite(); }, render, &written);
  if (result == kGifExportDone) {
    path_ = written;
    ShowPath();
    ShowMessage(this, app_.QText(kIdsExportGifSucceeded), kCaptionSuccess);
    QDialog::accept();
  } else if (result == kGifExportFailed) {
    ShowMessage(this, app_.QText(kIdsExportGifFailed), kCaptionFailed);
  }
}

}  // namespace grinsnap
