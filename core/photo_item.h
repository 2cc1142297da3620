#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>

#include <opencv2/core.hpp>

#include "core/image_obj.h"
#include "platform/image_loader.h"

namespace grinsnap {

// Photos are capped to this size on a side when their working image is built.
inline constexpr int kWorkingImageCap = 4096;
// Size of the per-photo face-detection block carried in every photo item.
inline constexpr std::size_t kFaceDataSize = 168;
using FaceData = std::array<std::uint8_t, kFaceDataSize>;

// What all copies of one photo share: the photo's id (its index in the photo
// list, -1 once it left the list) and, for a photo made from a result image,
// the picture itself. The mutex serialises building the working images of
// the copies, which also fills the shared records.
struct SourceRecord {
  std::mutex lock;
  cv::Mat unedited;
  std::atomic<int> photoId{-1};
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
  // picture, capped to 4096 x 4096, turned, and cropped as a view. Empty when
  // the photo does not load.
  const cv::Mat& WorkingImage();
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
