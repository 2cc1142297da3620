#pragma once

#include <filesystem>
#include <string>

#include <opencv2/core.hpp>

namespace grinsnap {

// Reads a picture a filter's document names (relative to the document's
// folder) as 8-bit BGR, or BGRA when keepAlpha is set and the file has an
// alpha channel. When it cannot be read the result is empty and the
// resolved path is added to `missing`, for the filter's error message.
cv::Mat LoadAsset(const std::filesystem::path& folder, const std::string& name, std::string& missing,
                  bool keepAlpha = false);

}  // namespace grinsnap
