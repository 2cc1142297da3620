#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "share/curl_transfer.h"
#include "share/photo_share.h"
#include "share/share_config.h"

namespace grinsnap::share {

// A reply of the album service: a status code line, a message line and a
// detail line, each ended by a line feed. A reply cut short yields what
// precedes the missing line feed.
struct PixhavenReply {
  int code = 0;
  std::string message;
  std::string detail;
};
PixhavenReply ParsePixhavenReply(const std::string& text);

// The maker's own album service: basic authentication, then an upload
// session of one multipart file part and a closing form post.
class PixhavenApi final : public CPhotoShare {
public:
  static constexpr int kCodeAccepted = 200;
  static constexpr int kCodeFinished = 601;
  static constexpr int kCodeRefused = 704;

  // Shows an error to the user (text, caption); called from the worker
  // thread for a refused file part. The default writes to standard error.
  using Notify = std::function<void(const std::string& text, const std::string& caption)>;

  // cookieFile: where the session cookie is kept between login and upload;
  // empty keeps it in memory, with the handle.
  explicit PixhavenApi(ShareConfig config, std::string cookieFile = {}, Notify notify = {});

  std::string GetName() const override { return "Pixhaven"; }
  std::string GetHomeUrl() const override { return albumUrl_; }
  std::string GetRegisterUrl() const override { return config_.pixhavenRoot + "/member/reg.php?maker=yes"; }
  int GetFeatures() const override { return 31; }
  bool Login(const std::string& account, const std::string& password) override;
  bool Upload(const std::string& file, const std::string& message, const std::string& title, const std::string& tag,
              bool isPrivate) override;
  void SetCancel(bool cancel) override { cancel_ = cancel; }
  void SetProgressCallback(ProgressCallback callback, void* context) override {
    progress_ = callback;
    progressContext_ = context;
  }

  std::string Endpoint() const { return config_.pixhavenRoot + "/services/uploadNew.php"; }
  // The session id: the time in seconds as hexadecimal and three digits.
  static std::string MakeSessionId();

private:
  // Posts a url-encoded body on the handle; false on a transfer error or an
  // HTTP status other than 200. The reply lands in reply_.
  bool PostForm(const std::string& body);

  ShareConfig config_;
  std::string cookieFile_;
  Notify notify_;
  CurlEasy curl_;
  char error_[CURL_ERROR_SIZE] = {};
  std::string reply_;
  std::atomic<bool> cancel_{false};
  ProgressCallback progress_ = nullptr;
  void* progressContext_ = nullptr;
  std::string albumUrl_;
};

}  // namespace grinsnap::share
