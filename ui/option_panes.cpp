#include "ui/option_panes.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include "core/effect_template.h"
#include "core/registry.h"
#include "templates/mesh_template.h"
#include "templates/simple_template.h"
#include "platform/image_loader.h"
#include "platform/messages.h"
#include "platform/paths.h"
#include "ui/app_context.h"
#include "ui/qt_image.h"
#include "ui/photo_edit_dialog.h"
#include "ui/qt_language.h"
#include "ui/qt_message_target.h"

namespace grinsnap {

namespace {

// Built-in control texts; a language file may replace them by control id.
constexpr const char* kShowClipBoxText = "Show Clip Box";
constexpr const char* kZoomInText = "Zoom In";
constexpr const char* kZoomOutText = "Zoom Out";
constexpr const char* kRotateLeftText = "Rotate Left";
constexpr const char* kRotateRightText = "Rotate Right";
constexpr const char* kRotateModelText = "Rotate Model";
constexpr const char* kResetPositionText = "Reset to Default Position";
constexpr const char* kSpecularLightText = "Specular Light";

constexpr ColorRef kOriginalPaneBackground = MakeColorRef(200, 200, 200);

// Dark grey text, the accent colour on the filled part of the slider groove.
constexpr const char* kPaneStyle =
    "QLabel { color: #333333; background: transparent; }"
    "QCheckBox { color: #333333; spacing: 6px; }"
    "QSlider { background: transparent; }"
    "QSlider::groove:horizontal { height: 4px; background: #c4c4c4; border-radius: 2px; }"
    "QSlider::sub-page:horizontal { height: 4px; background: #2f7fd8; border-radius: 2px; }"
    "QSlider::handle:horizontal { width: 14px; margin: -6px 0; border-radius: 7px;"
    " background: #ffffff; border: 1px solid #8c8c8c; }"
    "QSlider::handle:horizontal:hover { border-color: #2f7fd8; }"
    "QPushButton { color: #333333; background: #f7f7f7; border: 1px solid #a8a8a8; border-radius: 3px;"
    " padding: 4px 10px; }"
    "QPushButton:hover { border-color: #2f7fd8; }"
    "QPushButton:pressed { background: #dde9f7; }";

QColor ToQColor(ColorRef color) {
  return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                static_cast<int>((color >> 16) & 0xFF));
}

// The language file's picture for an IMAGE id; null when there is none or it
// does not load.
QPixmap LoadLanguageImage(int imageId) {
  if (!App().language) return {};
  const std::optional<std::filesystem::path> file = App().language->ImageFile(imageId);
  if (!file) return {};
  const cv::Mat picture = LoadImageFile(NormalizeSeparators(file->string()), nullptr, nullptr, true);
  return QPixmap::fromImage(ToQImage(picture));
}

// The slider position travels in the data argument of kCmdSetVariable.
void* PositionArgument(int position) { return reinterpret_cast<void*>(static_cast<std::intptr_t>(position)); }

}  // namespace

void RegisterUiClasses() {
  RegisterClass<COptionPane2D>();
  RegisterClass<COptionPane3D>();
}

// ---- OptionPaneWidget ----

OptionPaneWidget::OptionPaneWidget() {
  // The pane is a tool strip: showing it never takes activation from the
  // main window.
  setAttribute(Qt::WA_ShowWithoutActivating);
  messages_ = new QtMessageTarget(
      [this](std::uint32_t message, WParam, LParam) {
        if (message == kMsgLanguageChanged) OnLanguageChanged();
        return LParam{0};
      },
      this);
}

OptionPaneWidget::~OptionPaneWidget() {
  // A pane with a window is never deleted by its template (it is only
  // detached when the template goes). When the pane's parent window deletes
  // it first, the template must stop listing it, or it would reach a dead
  // pane when it is destroyed or makes new panes.
  if (created_) {
    if (CEffectTemplate* owner = Owner()) owner->ForgetPane(this);
  }
}

void OptionPaneWidget::Attached() { CreateWindow(dynamic_cast<QWidget*>(Parent())); }

void OptionPaneWidget::CreateWindow(QWidget* parent) {
  if (created_) return;
  if (parent) setParent(parent);
  setStyleSheet(kPaneStyle);
  CreateControls();
  created_ = true;
  backgroundImage_ = LoadLanguageImage(kPaneBackgroundImageId);
  ApplyDialogTexts();
  Refresh();
}

void OptionPaneWidget::SetBackgroundColor(ColorRef color) {
  background_ = color;
  update();
}

MessageTarget* OptionPaneWidget::Messages() const { return messages_; }

void OptionPaneWidget::OnLanguageChanged() {
  ApplyDialogTexts();
  update();
}

void OptionPaneWidget::ApplyDialogTexts() {
  if (!App().language) return;
  QtDialogText texts(this);
  App().language->ApplyToDialog(texts, DialogId());
}

MessageTarget* OptionPaneWidget::RedrawTarget() const { return Parent() ? Parent()->RedrawTarget() : nullptr; }

void OptionPaneWidget::RequestRedraw(bool applied) {
  if (MessageTarget* target = RedrawTarget()) target->Send(applied ? kMsgResultReady : kMsgProcessingContinues, 0, 0);
}

void OptionPaneWidget::ApplyAndRedraw() { RequestRedraw(App().engine.Apply()); }

void OptionPaneWidget::RefreshAndRepaint() {
  App().engine.Refresh();
  if (MessageTarget* target = RedrawTarget()) target->Send(kMsgRepaint, 0, 0);
}

void OptionPaneWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), ToQColor(background_));
  if (!backgroundImage_.isNull()) painter.drawPixmap(rect(), backgroundImage_);
}

// ---- COptionPane2D ----

COptionPane2D::COptionPane2D() { SetClassName(kClassName); }

void COptionPane2D::CreateControls() {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(14, 12, 14, 12);
  layout->setSpacing(4);
  for (int i = 0; i < kSliderCount; ++i) {
    labels_[i] = new QLabel(this);
    labels_[i]->setObjectName(QStringLiteral("label%1").arg(i));
    values_[i] = new QLabel(this);
    values_[i]->setObjectName(QStringLiteral("value%1").arg(i));
    values_[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    sliders_[i] = new QSlider(Qt::Horizontal, this);
    sliders_[i]->setObjectName(QStringLiteral("slider%1").arg(i));
    // A hidden slider still reports its position (0) with the others.
    sliders_[i]->setRange(0, 0);
    connect(sliders_[i], &QSlider::valueChanged, this, &COptionPane2D::OnSliderValueChanged);
    connect(sliders_[i], &QSlider::sliderReleased, this, &COptionPane2D::OnSliderReleased);
    QLabel* value = values_[i];
    connect(sliders_[i], &QSlider::valueChanged, value, [value](int position) { value->setNum(position); });
    auto* caption = new QHBoxLayout;
    caption->setContentsMargins(0, 0, 0, 0);
    caption->addWidget(labels_[i], 1);
    caption->addWidget(values_[i]);
    layout->addLayout(caption);
    layout->addWidget(sliders_[i]);
    layout->addSpacing(6);
  }
  clipBox_ = new QCheckBox(tr(kShowClipBoxText), this);
  clipBox_->setObjectName("clipBox");
  QtDialogText::SetControlId(clipBox_, kCtlClipBox);
  connect(clipBox_, &QCheckBox::clicked, this, &COptionPane2D::OnClipBoxClicked);
  layout->addWidget(clipBox_);
  layout->addStretch(1);
}

std::string COptionPane2D::VariableCaption(int i) const {
  char name[kVariableNameBufferSize] = {};
  Owner()->Command(kCmdVariableName, 0, i, name);
  name[kVariableNameBufferSize - 1] = '\0';
  return App().language ? App().language->Translate(name) : std::string(name);
}

void COptionPane2D::Refresh() {
  for (int i = 0; i < kSliderCount; ++i) {
    labels_[i]->hide();
    sliders_[i]->hide();
    values_[i]->hide();
  }
  clipBox_->hide();
  CEffectTemplate* owner = Owner();
  if (!owner) return;

  for (int i = 0; i < kSliderCount; ++i) {
    const std::string caption = VariableCaption(i);
    std::int32_t range[3] = {0, 0, 0};  // min, max, start in slider steps
    owner->Command(kCmdVariableRange, 0, i, range);
    if (range[0] == 0 && range[1] == 0) continue;
    labels_[i]->setText(QString::fromStdString(caption));
    // Setting up the slider is no change by the user.
    const QSignalBlocker blocker(sliders_[i]);
    sliders_[i]->setRange(range[0], range[1]);
    sliders_[i]->setValue(range[2]);
    values_[i]->setNum(sliders_[i]->value());
    labels_[i]->show();
    sliders_[i]->show();
    values_[i]->show();
  }

  std::uint8_t hasRoi = 0;
  owner->Command(kCmdHasRoi, 0, 0, &hasRoi);
  clipBox_->setChecked(true);
  clipBox_->setVisible(hasRoi != 0);
}

std::vector<int> COptionPane2D::Positions() const {
  std::vector<int> positions;
  for (const QSlider* slider : sliders_) positions.push_back(slider->value());
  return positions;
}

void COptionPane2D::SetPositions(const std::vector<int>& positions) {
  for (int i = 0; i < kSliderCount && i < static_cast<int>(positions.size()); ++i) {
    const QSignalBlocker blocker(sliders_[i]);
    sliders_[i]->setValue(positions[static_cast<std::size_t>(i)]);
    values_[i]->setNum(sliders_[i]->value());
  }
  if (Owner()) SendPositions();
}

void COptionPane2D::OnLanguageChanged() {
  OptionPaneWidget::OnLanguageChanged();
  if (!Owner()) return;
  for (int i = 0; i < kSliderCount; ++i)
    if (!sliders_[i]->isHidden()) labels_[i]->setText(QString::fromStdString(VariableCaption(i)));
}

void COptionPane2D::SendPositions() {
  // Every change hands all three positions, so the template's values always
  // match what the sliders show.
  int positions[kSliderCount];
  for (int i = 0; i < kSliderCount; ++i) positions[i] = sliders_[i]->value();
  for (int i = 0; i < kSliderCount; ++i) Owner()->Command(kCmdSetVariable, 0, i, PositionArgument(positions[i]));
}

void COptionPane2D::OnSliderValueChanged() {
  if (!Owner()) return;
  SendPositions();
  const bool dragging = std::any_of(std::begin(sliders_), std::end(sliders_),
                                    [](const QSlider* s) { return s->isSliderDown(); });
  if (dragging) {
    dragChanged_ = true;
    RefreshAndRepaint();
  } else {
    ApplyAndRedraw();
  }
}

void COptionPane2D::OnSliderReleased() {
  if (!dragChanged_) return;
  dragChanged_ = false;
  if (!Owner()) return;
  SendPositions();
  ApplyAndRedraw();
}

void COptionPane2D::OnClipBoxClicked(bool checked) {
  if (!Owner()) return;
  Owner()->Command(kCmdShowRoi, 0, checked ? 1 : 0, nullptr);
  // Only the box on the preview changes; the picture stays as it is.
  RequestRedraw(true);
}

// ---- COptionPane3D ----

COptionPane3D::COptionPane3D() {
  SetClassName(kClassName);
  timers_ = new QtTimerService(
      [this](int id) {
        if (CEffectTemplate* owner = Owner()) owner->OnTimer(id);
      },
      this);
}

COptionPane3D::~COptionPane3D() {
  // The spin runs on this pane's timers: stop it before they go.
  if (CEffectTemplate* owner = Owner())
    if (timers_->IsActive(kTimerMeshRotation)) owner->Command(kCmdStopSpin, 0, 0, nullptr);
}

TimerService* COptionPane3D::Timers() const { return timers_; }

void COptionPane3D::CreateControls() {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(14, 12, 14, 12);
  layout->setSpacing(8);
  rotateBox_ = new QCheckBox(tr(kRotateModelText), this);
  rotateBox_->setObjectName("rotateBox");
  QtDialogText::SetControlId(rotateBox_, kCtlRotate);
  connect(rotateBox_, &QCheckBox::clicked, this, &COptionPane3D::OnRotateClicked);
  resetButton_ = new QPushButton(tr(kResetPositionText), this);
  resetButton_->setObjectName("resetButton");
  QtDialogText::SetControlId(resetButton_, kCtlReset);
  connect(resetButton_, &QPushButton::clicked, this, &COptionPane3D::OnResetClicked);
  specularBox_ = new QCheckBox(tr(kSpecularLightText), this);
  specularBox_->setObjectName("specularBox");
  QtDialogText::SetControlId(specularBox_, kCtlSpecular);
  connect(specularBox_, &QCheckBox::clicked, this, &COptionPane3D::OnSpecularClicked);
  layout->addWidget(rotateBox_);
  layout->addWidget(resetButton_);
  layout->addWidget(specularBox_);
  layout->addStretch(1);
}

void COptionPane3D::Refresh() {
  const QSignalBlocker rotate(rotateBox_), specular(specularBox_);
  rotateBox_->setChecked(false);
  specularBox_->setChecked(false);
}

void COptionPane3D::AnimationStateChanged(bool running) {
  if (!rotateBox_) return;
  const QSignalBlocker block(rotateBox_);
  rotateBox_->setChecked(running);
}

void COptionPane3D::OnRotateClicked(bool checked) {
  if (!Owner()) return;
  // The spin's ticks redraw the preview; starting or stopping sends nothing.
  if (checked)
    Owner()->Command(kCmdStartSpin, 0, 0, static_cast<TimerService*>(timers_));
  else
    Owner()->Command(kCmdStopSpin, 0, 0, nullptr);
}

void COptionPane3D::OnResetClicked() {
  if (!Owner()) return;
  Owner()->Command(kCmdResetRotation, 0, 0, nullptr);
  ApplyAndRedraw();
}

void COptionPane3D::OnSpecularClicked(bool checked) {
  if (!Owner()) return;
  Owner()->Command(kCmdSpecular, 0, checked ? 1 : 0, nullptr);
  ApplyAndRedraw();
}

// ---- COptionPaneOrgImgDefault ----

COptionPaneOrgImgDefault::COptionPaneOrgImgDefault(QWidget* parent) {
  SetBackgroundColor(kOriginalPaneBackground);
  CreateWindow(parent);
}

void COptionPaneOrgImgDefault::CreateControls() {
  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(14, 12, 14, 12);
  layout->setHorizontalSpacing(8);
  layout->setVerticalSpacing(8);

  clipBox_ = new QCheckBox(tr(kShowClipBoxText), this);
  clipBox_->setObjectName("clipBox");
  QtDialogText::SetControlId(clipBox_, kCtlClipBox);
  connect(clipBox_, &QCheckBox::clicked, this,
          [this](bool checked) { Notify(kActionClipBox, checked ? 1 : 0); });
  layout->addWidget(clipBox_, 0, 0, 1, 2);

  struct ButtonDesc {
    const char* text;
    const char* objectName;
    int controlId;
    Action action;
    int row, column;
  };
  static constexpr ButtonDesc kButtons[] = {
      {kZoomInText, "zoomIn", kCtlZoomIn, kActionZoomIn, 1, 0},
      {kZoomOutText, "zoomOut", kCtlZoomOut, kActionZoomOut, 1, 1},
      {kRotateLeftText, "rotateLeft", kCtlRotateLeft, kActionRotateLeft, 2, 0},
      {kRotateRightText, "rotateRight", kCtlRotateRight, kActionRotateRight, 2, 1},
  };
  for (const ButtonDesc& desc : kButtons) {
    auto* button = new QPushButton(tr(desc.text), this);
    button->setObjectName(desc.objectName);
    button->setFocusPolicy(Qt::NoFocus);
    QtDialogText::SetControlId(button, desc.controlId);
    const Action action = desc.action;
    connect(button, &QPushButton::clicked, this, [this, action] { Notify(action, 0); });
    layout->addWidget(button, desc.row, desc.column);
  }
  layout->setRowStretch(3, 1);
}

void COptionPaneOrgImgDefault::SetTarget(MessageTarget* target, std::uint32_t message) {
  target_ = target;
  message_ = message;
}

void COptionPaneOrgImgDefault::SetClipBoxChecked(bool checked) { clipBox_->setChecked(checked); }

void COptionPaneOrgImgDefault::Notify(WParam action, LParam value) {
  if (target_) target_->Send(message_, action, value);
}

}  // namespace grinsnap
