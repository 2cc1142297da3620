#pragma once

#include <filesystem>
#include <string>

#include <opencv2/core.hpp>

#include "share/photo_share.h"
#include "share/share_config.h"

class QWidget;

namespace grinsnap {

struct AppContext;

// The share configuration file: $GRINSNAP_SHARE_CONFIG when set, else
// share.ini beside the settings file.
std::filesystem::path ShareConfigFile();
// The service addresses, with the [Share] section of the file (keys named
// as the ShareConfig members; verifyPeer 0 or 1) over the defaults. A
// missing file or key keeps the default.
share::ShareConfig LoadShareConfig(const std::filesystem::path& file);

// What a share button does: writes the upload file from the picture (on
// failure tells the user and returns false), runs the upload wizard for the
// service filled from the settings, and stores the account (only when the
// user ticked the remember box) and the message, tag and privacy back.
// photoPath names the photo the picture came from (its name is the title).
bool SharePicture(QWidget* parent, AppContext& app, share::ShareService service, const cv::Mat& picture,
                  const std::string& photoPath);

}  // namespace grinsnap
