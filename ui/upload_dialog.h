#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include <QDialog>
#include <QString>

#include "app/settings.h"
#include "platform/message_target.h"
#include "share/photo_share.h"
#include "share/upload_worker.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStackedWidget;

namespace grinsnap {

struct AppContext;
class LoopbackRedirect;
class QtMessageTarget;
class QtTimerService;

// The upload wizard: the picture's information, then the account (or the
// service's authorisation page in the user's browser), then the login and
// upload on a worker thread behind a progress page, then the result.
//
// Pages by object name: "infoPage" (title, message, tag, private, public,
// infoNext), "accountPage" (account, password, remember, register,
// accountPrevious, accountNext), "webPage" (webAddress, webContinue,
// webReopen), "progressPage" (progressBar, status, cancel), "resultPage"
// (result, ok).
class CDlgUpload : public QDialog {
  Q_OBJECT
public:
  // Pages, numbered by their dialog templates; the browser page by the
  // browser view's control id.
  enum Page : int { kPageInfo = 308, kPageAccount = 309, kPageProgress = 310, kPageResult = 311, kPageWeb = 106 };

  CDlgUpload(AppContext& app, std::unique_ptr<share::CPhotoShare> client, std::string file, QWidget* parent = nullptr);
  ~CDlgUpload() override;

  // Fills the pages; the title is not part of the remembered values.
  void SetValues(const ShareDialogValues& values, const std::string& title);
  ShareDialogValues Values() const;

  Page CurrentPage() const;
  QString ResultText() const;
  share::CPhotoShare& Client() { return *client_; }
  MessageTarget& Target();
  // The address the service sends the browser back to (a loopback
  // listener when one could be opened).
  std::string RedirectUrl() const;

  // Opens an address in the user's browser; tests replace it. Returns the
  // opener that was set before.
  using UrlOpener = std::function<void(const std::string& url)>;
  static UrlOpener SetUrlOpener(UrlOpener opener);

  void reject() override;

private:
  LParam Handle(std::uint32_t message, WParam wParam, LParam lParam);
  void ShowPage(Page page);
  void OnPage(Page page, bool previous);
  void PostNavigated(const std::string& url);
  void OnNavigated(const std::string& url);
  void StartWorker();
  void JoinWorker();
  void ShowResult(int stringId);
  void RefreshProgress();
  void UpdateButtons();
  void OnBusyTick();
  void OpenUrl(const std::string& url);
  QWidget* BuildInfoPage();
  QWidget* BuildAccountPage();
  QWidget* BuildWebPage();
  QWidget* BuildProgressPage();
  QWidget* BuildResultPage();

  AppContext& app_;
  std::unique_ptr<share::CPhotoShare> client_;
  std::string file_;
  QString title_;
  int dots_ = 0;
  std::atomic<bool> cancelled_{false};
  share::UploadStatus status_;
  std::thread worker_;
  QtMessageTarget* target_ = nullptr;
  QtTimerService* timers_ = nullptr;
  LoopbackRedirect* loopback_ = nullptr;
  std::deque<std::string> navigated_;

  QStackedWidget* pages_ = nullptr;
  QWidget* infoPage_ = nullptr;
  QWidget* accountPage_ = nullptr;
  QWidget* webPage_ = nullptr;
  QWidget* progressPage_ = nullptr;
  QWidget* resultPage_ = nullptr;
  QLineEdit* titleEdit_ = nullptr;
  QPlainTextEdit* messageEdit_ = nullptr;
  QLineEdit* tagEdit_ = nullptr;
  QRadioButton* private_ = nullptr;
  QRadioButton* public_ = nullptr;
  QPushButton* infoNext_ = nullptr;
  QLineEdit* account_ = nullptr;
  QLineEdit* password_ = nullptr;
  QCheckBox* remember_ = nullptr;
  QPushButton* accountNext_ = nullptr;
  QLineEdit* webAddress_ = nullptr;
  QLabel* webHint_ = nullptr;
  QProgressBar* progressBar_ = nullptr;
  QLabel* statusLine_ = nullptr;
  QLabel* result_ = nullptr;
};

}  // namespace grinsnap
