#include "share/upload_worker.h"

#include <cstdio>

#include "platform/messages.h"

namespace grinsnap::share {

void UploadStatus::SetStatus(Status status) {
  {
    std::lock_guard lock(mutex_);
    status_ = status;
    positionSetLast_ = false;
  }
  if (onChange) onChange(onChangeContext);
}

void UploadStatus::SetPosition(int percent) {
  {
    std::lock_guard lock(mutex_);
    position_ = percent;
    positionSetLast_ = true;
  }
  if (onChange) onChange(onChangeContext);
}

int UploadStatus::Position() const {
  std::lock_guard lock(mutex_);
  return position_;
}

UploadStatus::Status UploadStatus::CurrentStatus() const {
  std::lock_guard lock(mutex_);
  return status_;
}

std::string UploadStatus::Line(const std::string& statusText) const {
  std::lock_guard lock(mutex_);
  char line[512];
  std::snprintf(line, sizeof line, positionSetLast_ ? "%d%%-%s" : "%d%%  %s", position_, statusText.c_str());
  return line;
}

void ReportUploadProgress(double percent, void* context) {
  if (percent < 1) return;
  auto* status = static_cast<UploadStatus*>(context);
  status->SetStatus(UploadStatus::Status::Uploading);
  status->SetPosition(static_cast<int>(percent));
}

void RunUpload(CPhotoShare& client, const UploadJob& job, const std::atomic<bool>& cancelled, UploadStatus& status,
               MessageTarget& wizard) {
  if (!client.UsesWebAuthorization()) {
    status.SetStatus(UploadStatus::Status::LoggingIn);
    status.SetPosition(1);
    if (!client.Login(job.account, job.password)) {
      wizard.Post(cancelled ? kMsgShareCancelled : kMsgShareLoginFailed, 0, 0);
      return;
    }
  }
  const bool uploaded = client.Upload(job.file, job.message, job.title, job.tag, job.isPrivate);
  if (cancelled) {
    wizard.Post(kMsgShareCancelled, 0, 0);
  } else {
    wizard.Post(uploaded ? kMsgShareUploadDone : kMsgShareUploadFailed, 0, 0);
  }
}

}  // namespace grinsnap::share
