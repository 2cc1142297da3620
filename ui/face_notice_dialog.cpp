#include "ui/face_notice_dialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/string_table.h"
#include "ui/app_context.h"
#include "ui/qt_language.h"

namespace grinsnap {

namespace {

constexpr const char* kTitle = "Notice";
constexpr const char* kDoNotShowAgainText = "Do not show this dialog again.";
constexpr const char* kOkText = "OK";
constexpr int kOkId = 1;

FaceNoticeHook& Hook() {
  static FaceNoticeHook hook;
  return hook;
}

}  // namespace

CDlgInfoNotDetected::CDlgInfoNotDetected(const AppContext& app, QWidget* parent) : QDialog(parent) {
  setObjectName("DlgInfoNotDetected");
  setWindowTitle(kTitle);
  auto* layout = new QVBoxLayout(this);
  text_ = new QLabel(app.QText(kIdsFaceNotDetected), this);
  text_->setWordWrap(true);
  layout->addWidget(text_);
  doNotShowAgain_ = new QCheckBox(kDoNotShowAgainText, this);
  QtDialogText::SetControlId(doNotShowAgain_, kDoNotShowAgainId);
  layout->addWidget(doNotShowAgain_);
  ok_ = new QPushButton(kOkText, this);
  ok_->setDefault(true);
  QtDialogText::SetControlId(ok_, kOkId);
  layout->addWidget(ok_, 0, Qt::AlignRight);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  if (app.language) {
    QtDialogText target(this);
    app.language->ApplyToDialog(target, kDlgFaceNotDetected);
  }
}

bool CDlgInfoNotDetected::DoNotShowAgain() const { return doNotShowAgain_->isChecked(); }

FaceNoticeHook SetFaceNoticeHook(FaceNoticeHook hook) {
  FaceNoticeHook previous = std::move(Hook());
  Hook() = std::move(hook);
  return previous;
}

bool ShowFaceNotice(AppContext& app, QWidget* parent) {
  if (!app.session.faceNoticeEnabled) return false;
  CDlgInfoNotDetected dialog(app, parent);
  if (Hook())
    Hook()(dialog);
  else
    dialog.exec();
  // The box counts however the dialog was closed: whoever ticked it does
  // not want to see the notice again.
  if (dialog.DoNotShowAgain()) app.session.faceNoticeEnabled = false;
  return true;
}

}  // namespace grinsnap
