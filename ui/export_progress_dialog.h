#pragma once

#include <functional>
#include <thread>

#include <QDialog>

class QLabel;
class QProgressBar;

namespace grinsnap {

class MessageTarget;
class QtMessageTarget;

// The progress of a GIF export: a bar from 0 to 100 and the per cent as
// text, moved by the progress messages (kMsgGifProgress, wParam = per cent)
// the animation writer posts from its worker thread. The dialog cannot be
// closed while the worker runs; it closes itself when the worker is done.
//
// Control ids (section DIALOG_IDD_333 of a language file): the bar 1001,
// the per-cent text 1002. Children by object name: "bar", "percent".
class ExportProgressDialog : public QDialog {
  Q_OBJECT
public:
  enum ControlId : int { kCtlBar = 1001, kCtlPercent = 1002 };

  // Runs on the worker thread; posts its progress to the target.
  using Job = std::function<bool(MessageTarget* progress)>;

  // Shows the dialog modally while the job runs on a worker thread and
  // returns the job's result once the worker has ended.
  static bool Run(QWidget* parent, Job job);

  explicit ExportProgressDialog(QWidget* parent = nullptr);
  ~ExportProgressDialog() override;

  // Starts the job on its worker thread; the dialog closes when it ends.
  void Start(Job job);
  bool Running() const { return running_; }
  bool Result() const { return result_; }

  int Position() const;
  QString PercentText() const;
  // Where the worker's progress messages go.
  MessageTarget* ProgressTarget() const;

  // Refused while the worker runs.
  void reject() override;

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  void ShowProgress(int percent);
  void WorkerEnded();

  QProgressBar* bar_ = nullptr;
  QLabel* percent_ = nullptr;
  QtMessageTarget* target_ = nullptr;
  std::thread worker_;
  bool running_ = false;
  bool result_ = false;
};

}  // namespace grinsnap
