#pragma once

#include <atomic>
#include <string>

#include "share/curl_transfer.h"
#include "share/oauth_session.h"
#include "share/photo_share.h"
#include "share/share_config.h"

namespace grinsnap::share {

// The text between the first `after` and the next `until` following it;
// empty when either is missing.
std::string TextBetween(const std::string& text, const std::string& after, const std::string& until);

// Twitter: OAuth 1.0 with a PIN obtained without a browser (the user's
// account and password are posted to the authorisation page), then one
// multipart status update with the picture.
class TwitApi final : public CurlShareClient {
public:
  static constexpr const char* kConsumerKey = "Qz8vTnK3pLw0RbXe5YhJd";
  static constexpr const char* kConsumerSecret = "mP4sV9kQ2xT7wL1nR8cF3hJ6bZ0yG5dN2aE7uK4qW9e";

  explicit TwitApi(ShareConfig config);

  std::string GetName() const override { return "Twitter"; }
  std::string GetHomeUrl() const override { return config_.twitterHome; }
  int GetFeatures() const override { return kFeatureMessage; }
  bool Login(const std::string& account, const std::string& password) override;
  bool Upload(const std::string& file, const std::string& message, const std::string& title, const std::string& tag,
              bool isPrivate) override;

  const std::string& ScreenName() const { return screenName_; }

  // The four login steps, in order; each needs the one before.
  bool RequestToken();
  bool ObtainPin();
  bool AccessToken();
  bool VerifyCredentials();

private:
  std::string WebUrl(const std::string& path) const { return config_.twitterWeb + path; }
  std::string ApiUrl(const std::string& path) const { return config_.twitterApi + path + ".json"; }

  ShareConfig config_;
  OAuthSession session_;
  std::string user_;
  std::string password_;
  std::string verifier_;
  std::string screenName_;
  std::string authorizeUrl_;
};

}  // namespace grinsnap::share
