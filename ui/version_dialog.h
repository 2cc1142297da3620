#pragma once

#include <memory>

#include <QDialog>

#include "app/version_check.h"

class QLabel;

namespace grinsnap {

struct AppContext;
class QtMessageTarget;

// The update dialog (258): checks the site for a newer version on a thread
// while it is open and shows what came back - a newer version with a link
// to the download page, up to date, or why the check failed. While it is
// open it receives the version check results; closing it stops that, so a
// late result is dropped.
class VersionDialog : public QDialog {
  Q_OBJECT
public:
  explicit VersionDialog(AppContext& app, QWidget* parent = nullptr);
  ~VersionDialog() override;

  // Starts the check (done on showing; tests call it themselves).
  void StartCheck();
  QString Text() const;
  QLabel* Link() const { return link_; }

protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;

private:
  void OnResult(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);

  AppContext& app_;
  QLabel* text_ = nullptr;
  QLabel* link_ = nullptr;
  std::unique_ptr<QtMessageTarget> target_;
  std::unique_ptr<VersionCheck> check_;
};

// Starts the quiet check at start-up when the setting allows it; the main
// window's target then receives the result. Null when no check runs.
std::unique_ptr<VersionCheck> StartStartupVersionCheck(AppContext& app);

// The texts of a failed check in the current language.
VersionCheckTexts CurrentVersionCheckTexts(const AppContext& app);

}  // namespace grinsnap
