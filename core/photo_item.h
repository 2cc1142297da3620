#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "core/image_obj.h"
#include "platform/image_loader.h"

namespace grinsnap {

// Photos are capped to this size on a side when their working image is built,
// unless the item says otherwise.
inline constexpr int kWorkingImageCap = 4096;
// Size of the per-photo face-detection block carried in every photo item.
inline constexpr std::size_t kFaceDataSize = 168;
using FaceData = std::array<std::uint8_t, kFaceDataSize>;

// What all copies of one photo share: the photo's id (its index in the photo
// list, -1 once it left the list), for a photo made from a result image the
// picture itself, and what the last load of the photo's file said. The mutex
// serialises building the working images of the copies, which also fills the
// shared records, and guards the load outcome.
struct SourceRecord {
  std::mutex lock;
  cv::Mat unedited;
  std::atomic<int> photoId{-1};
  // Set while a failed load is remembered: the file is not read (nor the
  // failure logged) again until the photo is reloaded.
  std::optional<std::string> loadFailure;
  std::vector<std::string> loadWarnings;
};

// One photo of the photo list, also used for the template's inputs. Copies
// share the records and the source, hold their own duplicates of the
// editing-layer handles and deep-copy both images.
class PhotoItem {
public:
  PhotoItem() = default;
  // A photo read from a file; nothing is loaded until the working image is needed.
  explicit PhotoItem(std::filesystem::path photoPath);
  // A photo without a path made from a picture (a result image).
  static PhotoItem FromImage(const cv::Mat& picture);

  PhotoItem(const PhotoItem& other);
  PhotoItem& operator=(const PhotoItem& other);
  PhotoItem(PhotoItem&& other) noexcept;
  PhotoItem& operator=(PhotoItem&& other) noexcept;
  ~PhotoItem();

  // A copy whose images share pixels with this one instead of being cloned.
  // For handing inputs to a template, which copies what it keeps.
  PhotoItem Snapshot() const;

  bool IsEmpty() const { return !source; }
  int PhotoId() const { return source ? source->photoId.load() : -1; }
  bool SameSource(const PhotoItem& other) const { return source && source == other.source; }

  // The photo as templates see it, built on first use: the edited or loaded
  // picture, capped to workingImageCap x workingImageCap, turned, and cropped
  // as a view. Empty when the photo does not load; a failed load is
  // remembered by every copy until Reload().
  const cv::Mat& WorkingImage();
  // Forgets a remembered load failure (for every copy) and drops this copy's
  // working image, so that the next WorkingImage() reads the file again.
  void Reload();
  // Why the photo's file did not load, while that is remembered.
  std::optional<std::string> LoadFailure() const;
  // What the loader had to say about the photo's file when it last loaded.
  std::vector<std::string> LoadWarnings() const;
  // Drops the working image and the editing layer's cached pictures, so that
  // the next WorkingImage() rebuilds from the source.
  void DropWorkingImage();
  // Makes the thumbnail: the working image fitted into width x height.
  void MakeThumbnail(int width, int height);
  // Whether the thumbnail was made for this box from the photo as it is now
  // turned and cropped.
  bool ThumbnailCurrent(int width, int height) const;
  void CopyThumbnailKeyFrom(const PhotoItem& other) { thumbnailKey_ = other.thumbnailKey_; }

  std::filesystem::path path;
  std::shared_ptr<PhotoRecord> editRecord;
  std::shared_ptr<PhotoRecord> auxRecord;
  HNODE node = nullptr;
  HNODE nodeB = nullptr;
  int rotation = 0;
  int cropRotation = 0;
  std::array<float, 4> crop{0, 0, 1, 1};
  FaceData faceData{};
  // The largest side of the working image; pictures beyond it are scaled down.
  int workingImageCap = kWorkingImageCap;
  cv::Mat workingImage;
  cv::Mat thumbnail;
  std::shared_ptr<SourceRecord> source;

private:
  // What the thumbnail was made from.
  struct ThumbnailKey {
    int width = 0, height = 0, rotation = 0, cropRotation = 0;
    std::array<float, 4> crop{};
    bool operator==(const ThumbnailKey&) const = default;
  };
  ThumbnailKey CurrentKey(int width, int height) const { return {width, height, rotation, cropRotation, crop}; }
  ThumbnailKey thumbnailKey_;

  // Copies every field, duplicating the handles; the pictures are cloned or
  // shared.
  void CopyFieldsFrom(const PhotoItem& other, bool clonePictures);
  void ReleaseHandles();
  cv::Mat LoadSource();
};

// Scales a picture to fit a box keeping its aspect ratio, with the size
// FitInside gives.
cv::Mat ScaleToFit(const cv::Mat& picture, cv::Size box, bool enlarge, int interpolation);

}  // namespace grinsnap
