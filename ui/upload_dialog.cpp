#include "ui/upload_dialog.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "app/language.h"
#include "app/string_table.h"
#include "platform/messages.h"
#include "ui/app_context.h"
#include "ui/loopback_redirect.h"
#include "ui/qt_message_target.h"

namespace grinsnap {

namespace {

CDlgUpload::UrlOpener& Opener() {
  static CDlgUpload::UrlOpener opener;
  return opener;
}

constexpr int kBusyIntervalMs = 300;
constexpr int kMaxDots = 6;

QPushButton* Button(const QString& text, const char* name, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  return button;
}

}  // namespace

CDlgUpload::UrlOpener CDlgUpload::SetUrlOpener(UrlOpener opener) {
  UrlOpener before = std::move(Opener());
  Opener() = std::move(opener);
  return before;
}

CDlgUpload::CDlgUpload(AppContext& app, std::unique_ptr<share::CPhotoShare> client, std::string file, QWidget* parent)
    : QDialog(parent), app_(app), client_(std::move(client)), file_(std::move(file)) {
  target_ = new QtMessageTarget([this](std::uint32_t m, WParam w, LParam l) { return Handle(m, w, l); }, this);
  timers_ = new QtTimerService([this](int id) {
    if (id == kTimerShareBusy) OnBusyTick();
  }, this);
  client_->SetProgressCallback(&share::ReportUploadProgress, &status_);
  status_.onChangeContext = this;
  status_.onChange = [](void* context) {
    auto* self = static_cast<CDlgUpload*>(context);
    QMetaObject::invokeMethod(self, [self] { self->RefreshProgress(); }, Qt::QueuedConnection);
  };
  if (client_->UsesWebAuthorization()) {
    loopback_ = new LoopbackRedirect([this](const std::string& url) { PostNavigated(url); }, this);
    if (loopback_->Listening()) client_->SetRedirectUrl(loopback_->RedirectUrl());
  }

  const std::string languageTitle = app_.language ? app_.language->DialogTitle(kDlgUploadWizard) : std::string();
  title_ = languageTitle.empty() ? tr("Share on %1").arg(QString::fromStdString(client_->GetName()))
                                 : QString::fromStdString(languageTitle);
  setWindowTitle(title_);
  setObjectName("uploadWizard");

  pages_ = new QStackedWidget(this);
  pages_->addWidget(infoPage_ = BuildInfoPage());
  pages_->addWidget(accountPage_ = BuildAccountPage());
  pages_->addWidget(webPage_ = BuildWebPage());
  pages_->addWidget(progressPage_ = BuildProgressPage());
  pages_->addWidget(resultPage_ = BuildResultPage());
  auto* layout = new QVBoxLayout(this);
  // The pages sit inset in the client area: 5 left, 23 top, 4 right, 4 bottom.
  layout->setContentsMargins(5, 23, 4, 4);
  layout->addWidget(pages_);
  resize(420, 360);
  ShowPage(kPageInfo);
  UpdateButtons();
}

CDlgUpload::~CDlgUpload() {
  cancelled_ = true;
  client_->SetCancel(true);
  JoinWorker();
}

MessageTarget& CDlgUpload::Target() { return *target_; }

std::string CDlgUpload::RedirectUrl() const {
  return loopback_ && loopback_->Listening() ? loopback_->RedirectUrl() : std::string();
}

QWidget* CDlgUpload::BuildInfoPage() {
  auto* page = new QGroupBox(tr("Enter information about the picture"));
  page->setObjectName("infoPage");
  const int features = client_->GetFeatures();
  titleEdit_ = new QLineEdit(page);
  titleEdit_->setObjectName("title");
  messageEdit_ = new QPlainTextEdit(page);
  messageEdit_->setObjectName("message");
  tagEdit_ = new QLineEdit(page);
  tagEdit_->setObjectName("tag");
  private_ = new QRadioButton(tr("Private"), page);
  private_->setObjectName("private");
  public_ = new QRadioButton(tr("Public"), page);
  public_->setObjectName("public");
  public_->setChecked(true);
  infoNext_ = Button(tr("Next"), "infoNext", page);

  auto* layout = new QVBoxLayout(page);
  auto addRow = [&](const QString& label, QWidget* field, int bit) {
    auto* caption = new QLabel(label, page);
    layout->addWidget(caption);
    layout->addWidget(field);
    // Fields the service does not take are hidden; the message stays
    // required even where it is hidden.
    caption->setVisible(features & bit);
    field->setVisible(features & bit);
  };
  addRow(tr("Title"), titleEdit_, share::kFeatureTitle);
  addRow(tr("Message"), messageEdit_, share::kFeatureMessage);
  addRow(tr("Tag"), tagEdit_, share::kFeatureTag);
  auto* privacy = new QWidget(page);
  auto* privacyRow = new QHBoxLayout(privacy);
  privacyRow->setContentsMargins(0, 0, 0, 0);
  privacyRow->addWidget(private_);
  privacyRow->addWidget(public_);
  privacyRow->addStretch(1);
  addRow(tr("Privacy"), privacy, share::kFeaturePrivacy);
  layout->addStretch(1);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  buttons->addWidget(infoNext_);
  layout->addLayout(buttons);
  connect(messageEdit_, &QPlainTextEdit::textChanged, this, &CDlgUpload::UpdateButtons);
  connect(infoNext_, &QPushButton::clicked, this, [this] { target_->Post(kMsgSharePage, kPageInfo, 0); });
  return page;
}

QWidget* CDlgUpload::BuildAccountPage() {
  const QString name = QString::fromStdString(client_->GetName());
  QString caption = app_.QText(kIdsInputAccount);
  caption = caption.contains("%s") ? QString(caption).replace("%s", name) : tr("Input your %1 account").arg(name);
  auto* page = new QGroupBox(caption);
  page->setObjectName("accountPage");
  account_ = new QLineEdit(page);
  account_->setObjectName("account");
  password_ = new QLineEdit(page);
  password_->setObjectName("password");
  password_->setEchoMode(QLineEdit::Password);
  remember_ = new QCheckBox(tr("Remember user name and password"), page);
  remember_->setObjectName("remember");
  auto* registerButton = Button(tr("Register an Account"), "register", page);
  registerButton->setVisible(client_->GetFeatures() & share::kFeatureRegister);
  auto* previous = Button(tr("Previous"), "accountPrevious", page);
  accountNext_ = Button(tr("Next"), "accountNext", page);

  auto* layout = new QVBoxLayout(page);
  layout->addWidget(new QLabel(tr("Account"), page));
  layout->addWidget(account_);
  layout->addWidget(new QLabel(tr("Password"), page));
  layout->addWidget(password_);
  layout->addWidget(remember_);
  layout->addWidget(registerButton, 0, Qt::AlignLeft);
  layout->addStretch(1);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  buttons->addWidget(previous);
  buttons->addWidget(accountNext_);
  layout->addLayout(buttons);
  connect(account_, &QLineEdit::textChanged, this, &CDlgUpload::UpdateButtons);
  connect(password_, &QLineEdit::textChanged, this, &CDlgUpload::UpdateButtons);
  connect(registerButton, &QPushButton::clicked, this, [this] { OpenUrl(client_->GetRegisterUrl()); });
  connect(previous, &QPushButton::clicked, this, [this] { target_->Post(kMsgSharePage, kPageAccount, 1); });
  connect(accountNext_, &QPushButton::clicked, this, [this] { target_->Post(kMsgSharePage, kPageAccount, 0); });
  return page;
}

QWidget* CDlgUpload::BuildWebPage() {
  auto* page = new QGroupBox(tr("Authorise in your browser"));
  page->setObjectName("webPage");
  webHint_ = new QLabel(page);
  webHint_->setWordWrap(true);
  webAddress_ = new QLineEdit(page);
  webAddress_->setObjectName("webAddress");
  webAddress_->setPlaceholderText(tr("Address the browser shows after authorising"));
  auto* reopen = Button(tr("Open the page again"), "webReopen", page);
  auto* go = Button(tr("Continue"), "webContinue", page);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(webHint_);
  layout->addWidget(webAddress_);
  layout->addStretch(1);
  auto* buttons = new QHBoxLayout();
  buttons->addWidget(reopen);
  buttons->addStretch(1);
  buttons->addWidget(go);
  layout->addLayout(buttons);
  connect(reopen, &QPushButton::clicked, this, [this] { OpenUrl(client_->GetAuthorizationUrl()); });
  // Where no loopback listener could be opened, the user pastes the address
  // the browser ended on.
  connect(go, &QPushButton::clicked, this, [this] { PostNavigated(webAddress_->text().toStdString()); });
  return page;
}

QWidget* CDlgUpload::BuildProgressPage() {
  auto* page = new QGroupBox(tr("Uploading Progress"));
  page->setObjectName("progressPage");
  progressBar_ = new QProgressBar(page);
  progressBar_->setObjectName("progressBar");
  progressBar_->setRange(0, 100);
  statusLine_ = new QLabel(page);
  statusLine_->setObjectName("status");
  auto* cancel = Button(tr("Cancel"), "cancel", page);
  auto* layout = new QVBoxLayout(page);
  layout->addStretch(1);
  layout->addWidget(progressBar_);
  layout->addWidget(statusLine_);
  layout->addStretch(1);
  layout->addWidget(cancel, 0, Qt::AlignRight);
  connect(cancel, &QPushButton::clicked, this, [this] { target_->Post(kMsgShareCancel, 0, 0); });
  return page;
}

QWidget* CDlgUpload::BuildResultPage() {
  auto* page = new QGroupBox(tr("Result"));
  page->setObjectName("resultPage");
  result_ = new QLabel(page);
  result_->setObjectName("result");
  result_->setWordWrap(true);
  result_->setAlignment(Qt::AlignCenter);
  auto* ok = Button(tr("OK"), "ok", page);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(result_, 1);
  layout->addWidget(ok, 0, Qt::AlignRight);
  connect(ok, &QPushButton::clicked, this, [this] { target_->Post(kMsgShareCancelled, 0, 0); });
  return page;
}

void CDlgUpload::SetValues(const ShareDialogValues& values, const std::string& title) {
  account_->setText(QString::fromStdString(values.username));
  password_->setText(QString::fromStdString(values.password));
  remember_->setChecked(values.remember);
  messageEdit_->setPlainText(QString::fromStdString(values.message));
  tagEdit_->setText(QString::fromStdString(values.tag));
  (values.privateShare ? private_ : public_)->setChecked(true);
  titleEdit_->setText(QString::fromStdString(title));
  UpdateButtons();
}

ShareDialogValues CDlgUpload::Values() const {
  return {account_->text().toStdString(), password_->text().toStdString(), remember_->isChecked(),
          messageEdit_->toPlainText().toStdString(), tagEdit_->text().toStdString(), private_->isChecked()};
}

CDlgUpload::Page CDlgUpload::CurrentPage() const {
  QWidget* page = pages_->currentWidget();
  if (page == accountPage_) return kPageAccount;
  if (page == webPage_) return kPageWeb;
  if (page == progressPage_) return kPageProgress;
  if (page == resultPage_) return kPageResult;
  return kPageInfo;
}

QString CDlgUpload::ResultText() const { return result_->text(); }

void CDlgUpload::ShowPage(Page page) {
  QWidget* widget = page == kPageAccount    ? accountPage_
                    : page == kPageWeb      ? webPage_
                    : page == kPageProgress ? progressPage_
                    : page == kPageResult   ? resultPage_
                                            : infoPage_;
  pages_->setCurrentWidget(widget);
}

void CDlgUpload::UpdateButtons() {
  infoNext_->setEnabled(!messageEdit_->toPlainText().isEmpty());
  accountNext_->setEnabled(!account_->text().isEmpty() && !password_->text().isEmpty());
}

void CDlgUpload::OpenUrl(const std::string& url) {
  if (url.empty()) return;
  if (Opener()) {
    Opener()(url);
  } else {
    QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
  }
}

LParam CDlgUpload::Handle(std::uint32_t message, WParam wParam, LParam lParam) {
  switch (message) {
    case kMsgSharePage:
      OnPage(static_cast<Page>(wParam), lParam == 1);
      break;
    case kMsgShareNavigated:
      if (!navigated_.empty()) {
        const std::string url = std::move(navigated_.front());
        navigated_.pop_front();
        OnNavigated(url);
      }
      break;
    case kMsgShareLoginFailed:
      ShowResult(kIdsLoginFailed);
      break;
    case kMsgShareUploadFailed:
      ShowResult(kIdsUploadFailed);
      break;
    case kMsgShareUploadDone:
      ShowResult(kIdsUploadSucceeded);
      OpenUrl(client_->GetHomeUrl());
      break;
    case kMsgShareCancelled:
      JoinWorker();
      done(QDialog::Rejected);
      break;
    case kMsgShareCancel:
      cancelled_ = true;
      client_->SetCancel(true);
      break;
    case kMsgShareBusy:
      if (wParam) {
        dots_ = 0;
        timers_->SetTimer(kTimerShareBusy, kBusyIntervalMs);
      } else {
        timers_->KillTimer(kTimerShareBusy);
        setWindowTitle(title_);
      }
      break;
    default:
      // Status texts and new windows belong to the user's browser here.
      break;
  }
  return 0;
}

void CDlgUpload::OnPage(Page page, bool previous) {
  if (page == kPageInfo && !previous) {
    if (!client_->UsesWebAuthorization()) {
      ShowPage(kPageAccount);
      return;
    }
    ShowPage(kPageWeb);
    if (!client_->PrepareAuthorization()) {
      target_->Post(kMsgShareLoginFailed, 0, 0);
      return;
    }
    webHint_->setText(loopback_ && loopback_->Listening()
                          ? tr("The %1 page has opened in your browser. Grinsnap goes on by itself once you have "
                               "agreed there.").arg(QString::fromStdString(client_->GetName()))
                          : tr("The %1 page has opened in your browser. After agreeing there, paste the address "
                               "the browser shows below.").arg(QString::fromStdString(client_->GetName())));
    target_->Post(kMsgShareBusy, 1, 0);
    OpenUrl(client_->GetAuthorizationUrl());
  } else if (page == kPageAccount && previous) {
    ShowPage(kPageInfo);
  } else if (page == kPageAccount) {
    ShowPage(kPageProgress);
    StartWorker();
  }
}

void CDlgUpload::PostNavigated(const std::string& url) {
  // The addresses wait in order on the interface thread, where both the
  // listener and the paste button run; the message only says one is there.
  navigated_.push_back(url);
  target_->Post(kMsgShareNavigated, 0, 0);
}

void CDlgUpload::OnNavigated(const std::string& url) {
  if (!client_->UsesWebAuthorization() || CurrentPage() != kPageWeb) return;
  switch (client_->OnBrowserNavigated(url)) {
    case share::NavigationResult::Authorized:
      Handle(kMsgShareBusy, 0, 0);
      ShowPage(kPageProgress);
      StartWorker();
      break;
    case share::NavigationResult::Refused:
      Handle(kMsgShareBusy, 0, 0);
      done(QDialog::Rejected);
      break;
    case share::NavigationResult::KeepBrowsing:
      break;
  }
}

void CDlgUpload::StartWorker() {
  JoinWorker();
  cancelled_ = false;
  client_->SetCancel(false);
  const auto values = Values();
  share::UploadJob job{values.username, values.password, file_, values.message, titleEdit_->text().toStdString(),
                       values.tag, values.privateShare};
  worker_ = std::thread([this, job] { share::RunUpload(*client_, job, cancelled_, status_, *target_); });
}

void CDlgUpload::JoinWorker() {
  if (worker_.joinable()) worker_.join();
}

void CDlgUpload::ShowResult(int stringId) {
  JoinWorker();
  result_->setText(app_.QText(stringId));
  ShowPage(kPageResult);
}

void CDlgUpload::RefreshProgress() {
  const int stringId =
      status_.CurrentStatus() == share::UploadStatus::Status::LoggingIn ? kIdsLoggingIn : kIdsUploading;
  progressBar_->setValue(status_.Position());
  statusLine_->setText(QString::fromStdString(status_.Line(app_.Text(stringId))));
}

void CDlgUpload::OnBusyTick() {
  // One more dot a tick, up to six, then none again.
  dots_ = dots_ >= kMaxDots ? 0 : dots_ + 1;
  setWindowTitle(title_ + QString(dots_, '.'));
}

void CDlgUpload::reject() {
  // Closing the window during an upload cancels it first.
  cancelled_ = true;
  client_->SetCancel(true);
  JoinWorker();
  QDialog::reject();
}

}  // namespace grinsnap
