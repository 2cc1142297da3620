#include "ui/export_progress_dialog.h"

#include <algorithm>
#include <exception>

#include <QCloseEvent>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QVBoxLayout>

#include "app/language.h"
#include "platform/messages.h"
#include "ui/app_context.h"
#include "ui/qt_language.h"
#include "ui/qt_message_target.h"

namespace grinsnap {

ExportProgressDialog::ExportProgressDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("Export Progress"));
  setStyleSheet("QDialog { background: #f0f0f0; } QLabel { color: #333333; }");
  setWindowFlag(Qt::WindowCloseButtonHint, false);

  bar_ = new QProgressBar(this);
  bar_->setObjectName("bar");
  bar_->setRange(0, 100);
  bar_->setValue(0);
  bar_->setTextVisible(false);
  bar_->setMinimumWidth(320);
  QtDialogText::SetControlId(bar_, kCtlBar);
  percent_ = new QLabel(this);
  percent_->setObjectName("percent");
  percent_->setAlignment(Qt::AlignCenter);
  QtDialogText::SetControlId(percent_, kCtlPercent);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(bar_);
  layout->addWidget(percent_);

  // Progress arrives as messages from the worker; they are handled here, on
  // the interface thread.
  target_ = new QtMessageTarget(
      [this](std::uint32_t message, WParam wParam, LParam) -> LParam {
        if (message == kMsgGifProgress) ShowProgress(static_cast<int>(wParam));
        return 0;
      },
      this);

  ShowProgress(0);
  if (App().language) {
    QtDialogText texts(this);
    App().language->ApplyToDialog(texts, kDlgExportProgress);
  }
}

ExportProgressDialog::~ExportProgressDialog() {
  // The worker only posts; it must still be gone before the target is.
  if (worker_.joinable()) worker_.join();
}

MessageTarget* ExportProgressDialog::ProgressTarget() const { return target_; }

int ExportProgressDialog::Position() const { return bar_->value(); }

QString ExportProgressDialog::PercentText() const { return percent_->text(); }

void ExportProgressDialog::ShowProgress(int percent) {
  bar_->setValue(std::clamp(percent, 0, 100));
  percent_->setText(QString::asprintf("%d%%", percent));
}

void ExportProgressDialog::Start(Job job) {
  running_ = true;
  result_ = false;
  MessageTarget* target = target_;
  worker_ = std::thread([this, target, job = std::move(job)] {
    bool ok = false;
    try {
      ok = job && job(target);
    } catch (const std::exception&) {
      ok = false;  // e.g. memory for the frames ran out: the export failed
    }
    // Queued behind the progress messages already posted, so the bar has
    // shown them all when the dialog closes.
    QMetaObject::invokeMethod(
        target_, [this, ok] {
          result_ = ok;
          WorkerEnded();
        },
        Qt::QueuedConnection);
  });
}

void ExportProgressDialog::WorkerEnded() {
  if (worker_.joinable()) worker_.join();
  running_ = false;
  done(result_ ? Accepted : Rejected);
}

void ExportProgressDialog::reject() {
  if (!running_) QDialog::reject();
}

void ExportProgressDialog::closeEvent(QCloseEvent* event) {
  if (running_)
    event->ignore();
  else
    QDialog::closeEvent(event);
}

bool ExportProgressDialog::Run(QWidget* parent, Job job) {
  ExportProgressDialog dialog(parent);
  dialog.Start(std::move(job));
  // The worker's end closes the dialog; exec() cannot return earlier.
  dialog.exec();
  return dialog.Result();
}

}  // namespace grinsnap
