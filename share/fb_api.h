#pragma once

#include <atomic>
#include <string>

#include "share/curl_transfer.h"
#include "share/photo_share.h"
#include "share/share_config.h"

namespace grinsnap::share {

// Facebook: the client-side OAuth dialog in the browser hands the access
// token back in the fragment of the redirect address; the upload posts the
// photo, reads its link and publishes a feed entry pointing to it.
class FBApi final : public CurlShareClient {
public:
  static constexpr const char* kClientId = "381204976553018";

  explicit FBApi(ShareConfig config);

  std::string GetName() const override { return "Facebook"; }
  std::string GetHomeUrl() const override { return config_.facebookHome; }
  int GetFeatures() const override { return kFeatureMessage; }
  bool UsesWebAuthorization() const override { return true; }
  bool Login(const std::string&, const std::string&) override { return !token_.empty(); }
  std::string GetAuthorizationUrl() override;
  NavigationResult OnBrowserNavigated(const std::string& url) override;
  void SetRedirectUrl(const std::string& url) override { redirect_ = url; }
  bool Upload(const std::string& file, const std::string& message, const std::string& title, const std::string& tag,
              bool isPrivate) override;

  const std::string& AccessToken() const { return token_; }
  const std::string& RedirectUrl() const { return redirect_; }

private:
  bool Perform(const std::string& url);

  ShareConfig config_;
  std::string redirect_;
  CurlEasy curl_;
  std::string token_;
  std::string reply_;
};

}  // namespace grinsnap::share
