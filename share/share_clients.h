#pragma once

#include <memory>

#include "share/photo_share.h"
#include "share/pixhaven_api.h"
#include "share/share_config.h"

namespace grinsnap::share {

// The client of a share service. notify shows the album service's refusals.
std::unique_ptr<CPhotoShare> MakeShareClient(ShareService service, const ShareConfig& config,
                                             PixhavenApi::Notify notify = {});

}  // namespace grinsnap::share
