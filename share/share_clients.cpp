#include "share/share_clients.h"

#include "share/fb_api.h"
#include "share/flick_api.h"
#include "share/twit_api.h"

namespace grinsnap::share {

std::unique_ptr<CPhotoShare> MakeShareClient(ShareService service, const ShareConfig& config,
                                             PixhavenApi::Notify notify) {
  switch (service) {
    case ShareService::Facebook: return std::make_unique<FBApi>(config);
    case ShareService::Twitter: return std::make_unique<TwitApi>(config);
    case ShareService::Flickr: return std::make_unique<FlickApi>(config);
    case ShareService::Pixhaven: return std::make_unique<PixhavenApi>(config, std::string(), std::move(notify));
  }
  return nullptr;
}

}  // namespace grinsnap::share
