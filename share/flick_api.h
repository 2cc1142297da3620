#pragma once

#include <atomic>
#include <string>

#include "share/curl_transfer.h"
#include "share/oauth_session.h"
#include "share/photo_share.h"
#include "share/share_config.h"

namespace grinsnap::share {

// Flickr: OAuth 1.0a in the browser (request token, the user authorises,
// the verifier comes back on the callback address, access token), then the
// photo as a signed multipart upload.
class FlickApi final : public CurlShareClient {
public:
  static constexpr const char* kApiKey = "9d2b7c41e0f3a856c1d47b0e92fa3c65";
  static constexpr const char* kSharedSecret = "b71e0c9a4d2f5836";

  explicit FlickApi(ShareConfig config);

  std::string GetName() const override { return "Flickr"; }
  std::string GetHomeUrl() const override { return config_.flickrHome; }
  int GetFeatures() const override { return kFeatureTitle | kFeatureMessage | kFeatureTag | kFeaturePrivacy; }
  bool UsesWebAuthorization() const override { return true; }
  bool Login(const std::string&, const std::string&) override { return true; }
  bool PrepareAuthorization() override;
  std::string GetAuthorizationUrl() override;
  NavigationResult OnBrowserNavigated(const std::string& url) override;
  void SetRedirectUrl(const std::string& url) override { callback_ = url; }
  bool Upload(const std::string& file, const std::string& message, const std::string& title, const std::string& tag,
              bool isPrivate) override;

  const std::string& PhotoId() const { return photoId_; }
  const std::string& UserName() const { return userName_; }

private:
  ShareConfig config_;
  std::string callback_;
  OAuthSession session_;
  bool authorized_ = false;
  std::string userName_;
  std::string photoId_;
};

}  // namespace grinsnap::share
