#include <gtest/gtest.h>

#include "platform/messages.h"
#include "share/upload_worker.h"

namespace grinsnap::share {
namespace {

// A client whose answers a case chooses; it records what it was asked.
class ScriptedClient final : public CPhotoShare {
public:
  bool web = false, loginOk = true, uploadOk = true, cancelDuringUpload = false;
  std::atomic<bool>* wizardCancel = nullptr;
  UploadJob asked;
  int logins = 0;

  std::string GetHomeUrl() const override { return {}; }
  bool UsesWebAuthorization() const override { return web; }
  bool Login(const std::string& account, const std::string& password) override {
    ++logins;
    asked.account = account;
    asked.password = password;
    return loginOk;
  }
  bool Upload(const std::string& file, const std::string& message, const std::string& title, const std::string& tag,
              bool isPrivate) override {
    asked.file = file;
    asked.message = message;
    asked.title = title;
    asked.tag = tag;
    asked.isPrivate = isPrivate;
    if (cancelDuringUpload) *wizardCancel = true;
    return uploadOk && !cancelDuringUpload;
  }
  void SetCancel(bool) override {}
};

TEST(UploadWorker, PostsOneResultMessage) {
  struct Case {
    bool web, loginOk, uploadOk, cancel;
    std::uint32_t message;
    int logins;
  } cases[] = {
      {false, true, true, false, kMsgShareUploadDone, 1},   {false, false, true, false, kMsgShareLoginFailed, 1},
      {false, true, false, false, kMsgShareUploadFailed, 1}, {false, true, true, true, kMsgShareCancelled, 1},
      {true, false, true, false, kMsgShareUploadDone, 0},   {true, true, false, false, kMsgShareUploadFailed, 0},
  };
  const UploadJob job{"ann", "pw", "/tmp/x.jpg", "msg", "title", "tag", true};
  for (const auto& c : cases) {
    ScriptedClient client;
    std::atomic<bool> cancelled{false};
    client.web = c.web;
    client.loginOk = c.loginOk;
    client.uploadOk = c.uploadOk;
    client.cancelDuringUpload = c.cancel;
    client.wizardCancel = &cancelled;
    UploadStatus status;
    RecordingMessageTarget wizard;
    RunUpload(client, job, cancelled, status, wizard);
    ASSERT_EQ(wizard.Messages().size(), 1u);
    EXPECT_EQ(wizard.Messages()[0].message, c.message);
    EXPECT_EQ(client.logins, c.logins);
    if (c.logins) {
      EXPECT_EQ(client.asked.account, "ann");
      EXPECT_EQ(status.Line("Logging in..."), "1%-Logging in...");
    }
    if (c.loginOk || c.web) {
      EXPECT_EQ(client.asked.title, "title");
      EXPECT_TRUE(client.asked.isPrivate);
    }
  }
}

TEST(UploadWorker, ProgressHandlerAndStatusLine) {
  UploadStatus status;
  int changes = 0;
  status.onChangeContext = &changes;
  status.onChange = [](void* context) { ++*static_cast<int*>(context); };
  ReportUploadProgress(0.99, &status);
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(status.CurrentStatus(), UploadStatus::Status::None);
  ReportUploadProgress(42.7, &status);
  EXPECT_EQ(status.Position(), 42);
  EXPECT_EQ(status.CurrentStatus(), UploadStatus::Status::Uploading);
  EXPECT_EQ(status.Line("Uploading..."), "42%-Uploading...");
  status.SetStatus(UploadStatus::Status::LoggingIn);
  EXPECT_EQ(status.Line("Logging in..."), "42%  Logging in...");
  EXPECT_EQ(changes, 3);
}

}  // namespace
}  // namespace grinsnap::share
