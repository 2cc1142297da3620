#pragma once

#include <string>

namespace grinsnap::share {

// Fields of the information page a service accepts (GetFeatures).
enum ShareFeature : int {
  kFeatureTitle = 0x01,
  kFeatureMessage = 0x02,
  kFeatureTag = 0x04,
  kFeaturePrivacy = 0x08,
  kFeatureRegister = 0x10,
};

// What OnBrowserNavigated answers.
enum class NavigationResult : int { KeepBrowsing = 0, Authorized = 1, Refused = 2 };

// Receives the upload progress in per cent (0-100) from the worker thread.
using ProgressCallback = void (*)(double percent, void* context);

// One online service the upload wizard can share a picture on. Login and
// Upload run on the wizard's worker thread; SetCancel is called from the
// user-interface thread while they run, so clients keep the flag atomic.
class CPhotoShare {
public:
  virtual ~CPhotoShare() = default;
  virtual std::string GetName() const { return {}; }
  virtual std::string GetHomeUrl() const = 0;
  virtual std::string GetRegisterUrl() const { return {}; }
  virtual bool Login(const std::string& account, const std::string& password) = 0;
  // Called before the authorisation page is shown; false means failure.
  virtual bool PrepareAuthorization() { return true; }
  virtual bool Upload(const std::string& file, const std::string& message, const std::string& title,
                      const std::string& tag, bool isPrivate) = 0;
  virtual void SetCancel(bool cancel) = 0;
  virtual int GetFeatures() const { return kFeatureMessage; }
  virtual bool UsesWebAuthorization() const { return false; }
  // An address the user's browser reached during authorisation.
  virtual NavigationResult OnBrowserNavigated(const std::string& /*url*/) { return NavigationResult::KeepBrowsing; }
  virtual std::string GetAuthorizationUrl() { return {}; }
  // The address the service sends the browser back to after authorisation;
  // a client that honours it authorises through a loopback listener.
  virtual void SetRedirectUrl(const std::string& /*url*/) {}
  virtual void SetProgressCallback(ProgressCallback /*callback*/, void* /*context*/) {}
};

// Service index of the wizard and the preview's share commands.
enum class ShareService : int { Facebook = 0, Twitter = 1, Flickr = 2, Pixhaven = 3 };

}  // namespace grinsnap::share
