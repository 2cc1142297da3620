#include "filters/filter_assets.h"

#include "platform/image_loader.h"
#include "platform/paths.h"

namespace grinsnap {

cv::Mat LoadAsset(const std::filesystem::path& folder, const std::string& name, std::string& missing,
                  bool keepAlpha) {
  const std::filesystem::path path = ResolveDataPath(folder, name);
  const ImageLoadResult loaded = LoadImageFile(path, ImageLoadOptions{.keepAlpha = keepAlpha});
  if (loaded.image.empty()) {
    if (!missing.empty()) missing += ", ";
    missing += path.string();
    if (!loaded.failure.empty()) missing += " (" + loaded.failure + ")";
  }
  return loaded.image;
}

}  // namespace grinsnap
