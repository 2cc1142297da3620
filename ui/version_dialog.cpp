#include "ui/version_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/string_table.h"
#include "app/version_check.h"
#include "platform/messages.h"
#include "platform/version.h"
#include "ui/app_context.h"
#include "ui/qt_message_target.h"

namespace grinsnap {

VersionCheckTexts CurrentVersionCheckTexts(const AppContext& app) {
  return {app.Text(kIdsVersionCheckError), app.Text(kIdsDownloadHttpError)};
}

std::unique_ptr<VersionCheck> StartStartupVersionCheck(AppContext& app) {
  if (!app.session.updateCheckEnabled || app.site.url.empty()) return nullptr;
  auto check = std::make_unique<VersionCheck>(app.site, VersionDescriptorCopy(), kProgramVersionNumber,
                                              CurrentVersionCheckTexts(app));
  check->Start();
  return check;
}

VersionDialog::VersionDialog(AppContext& app, QWidget* parent) : QDialog(parent), app_(app) {
  setObjectName("CNewVersionDlg");
  setWindowTitle(QString::fromStdString(FormatText(app_.Text(kIdsCheckVersionCaption), {kProductName})));
  auto* layout = new QVBoxLayout(this);
  text_ = new QLabel(QString::fromStdString(FormatText(app_.Text(kIdsCheckingVersion), {kProductName})), this);
  text_->setObjectName("VersionText");
  text_->setWordWrap(true);
  text_->setMinimumWidth(360);
  text_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  layout->addWidget(text_, 1);
  const QString page = QString::fromStdString(app_.site.DownloadPageUrl());
  link_ = new QLabel(QString("<a href=\"%1\">%1</a>").arg(page.toHtmlEscaped()), this);
  link_->setObjectName("VersionLink");
  link_->setOpenExternalLinks(true);
  link_->setVisible(false);
  layout->addWidget(link_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);

  target_ = std::make_unique<QtMessageTarget>([this](std::uint32_t m, WParam w, LParam l) {
    OnResult(m, w, l);
    return LParam{0};
  });
}

VersionDialog::~VersionDialog() {
  SetVersionResultTarget(nullptr);
  check_.reset();  // cancels and joins
}

void VersionDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  StartCheck();
}

void VersionDialog::StartCheck() {
  if (check_) return;
  SetVersionResultTarget(target_.get());
  check_ = std::make_unique<VersionCheck>(app_.site, VersionDescriptorCopy(), kProgramVersionNumber,
                                          CurrentVersionCheckTexts(app_));
  check_->Start();
}

void VersionDialog::done(int result) {
  // A result arriving after this is dropped.
  SetVersionResultTarget(nullptr);
  QDialog::done(result);
}

QString VersionDialog::Text() const { return text_->text(); }

void VersionDialog::OnResult(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
  const int version = static_cast<int>(wParam);
  switch (message) {
    case kMsgNewVersion:
      text_->setText(QString::fromStdString(
          FormatText(app_.Text(kIdsNewVersionDetails),
                     {std::to_string(version / 100), std::to_string(version % 100), std::to_string(lParam)})));
      link_->setVisible(true);
      break;
    case kMsgUpToDate: text_->setText(app_.QText(kIdsLatestVersion)); break;
    case kMsgVersionCheckFailed: {
      std::unique_ptr<std::string> error(reinterpret_cast<std::string*>(lParam));
      text_->setText(QString::fromStdString(*error));
      break;
    }
    default: break;
  }
}

}  // namespace grinsnap
