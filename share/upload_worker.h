#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "platform/message_target.h"
#include "share/photo_share.h"

namespace grinsnap::share {

// What the wizard hands its upload worker.
struct UploadJob {
  std::string account;
  std::string password;
  std::string file;
  std::string message;
  std::string title;
  std::string tag;
  bool isPrivate = false;
};

// The progress page's bar and status line as the worker sets them. The
// status line reads "%d%%  %s" after the status text was set and "%d%%-%s"
// after the bar position was set. Safe to use from any thread; the page is
// told through onChange, which runs on the thread that made the change.
class UploadStatus {
public:
  enum class Status { None, LoggingIn, Uploading };

  void SetStatus(Status status);
  void SetPosition(int percent);
  int Position() const;
  Status CurrentStatus() const;
  // The line with the status text filled in by the page (the texts come
  // from the language layer, which lives above this one).
  std::string Line(const std::string& statusText) const;

  // Called after every change (from the worker thread).
  void (*onChange)(void* context) = nullptr;
  void* onChangeContext = nullptr;

private:
  mutable std::mutex mutex_;
  int position_ = 0;
  Status status_ = Status::None;
  bool positionSetLast_ = false;
};

// The progress handler the wizard gives its client: values below 1 are
// ignored; others set the status to "Uploading..." and the bar to the
// whole per cent. context: the UploadStatus.
void ReportUploadProgress(double percent, void* context);

// The worker's body: logs in (when the service does not authorise in the
// browser), uploads, and posts exactly one of kMsgShareUploadDone,
// kMsgShareUploadFailed, kMsgShareLoginFailed or kMsgShareCancelled to the
// wizard. cancelled is the wizard's cancel flag.
void RunUpload(CPhotoShare& client, const UploadJob& job, const std::atomic<bool>& cancelled, UploadStatus& status,
               MessageTarget& wizard);

}  // namespace grinsnap::share
