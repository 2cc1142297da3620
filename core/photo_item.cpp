#include "core/photo_item.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "platform/image_loader.h"

namespace grinsnap {

PhotoItem::PhotoItem(std::filesystem::path photoPath)
    : path(std::move(photoPath)),
      editRecord(std::make_shared<PhotoRecord>()),
      auxRecord(std::make_shared<PhotoRecord>()),
      source(std::make_shared<SourceRecord>()) {}

PhotoItem PhotoItem::FromImage(const cv::Mat& picture) {
  PhotoItem item{std::filesystem::path()};
  item.source->unedited = ToEightBitColour(picture, false);
  item.workingImage = item.source->unedited.clone();
  return item;
}

PhotoItem::PhotoItem(const PhotoItem& other) { CopyFieldsFrom(other, true); }

PhotoItem& PhotoItem::operator=(const PhotoItem& other) {
  if (this != &other) {
    ReleaseHandles();
    CopyFieldsFrom(other, true);
  }
  return *this;
}

PhotoItem::PhotoItem(PhotoItem&& other) noexcept
    : path(std::move(other.path)),
      editRecord(std::move(other.editRecord)),
      auxRecord(std::move(other.auxRecord)),
      node(std::exchange(other.node, nullptr)),
      nodeB(std::exchange(other.nodeB, nullptr)),
      rotation(other.rotation),
      cropRotation(other.cropRotation),
      crop(other.crop),
      faceData(other.faceData),
      workingImageCap(other.workingImageCap),
      workingImage(std::move(other.workingImage)),
      thumbnail(std::move(other.thumbnail)),
      source(std::move(other.source)),
      thumbnailKey_(other.thumbnailKey_) {}

PhotoItem& PhotoItem::operator=(PhotoItem&& other) noexcept {
  if (this != &other) {
    ReleaseHandles();
    path = std::move(other.path);
    editRecord = std::move(other.editRecord);
    auxRecord = std::move(other.auxRecord);
    node = std::exchange(other.node, nullptr);
    nodeB = std::exchange(other.nodeB, nullptr);
    rotation = other.rotation;
    cropRotation = other.cropRotation;
    crop = other.crop;
    faceData = other.faceData;
    workingImageCap = other.workingImageCap;
    workingImage = std::move(other.workingImage);
    thumbnail = std::move(other.thumbnail);
    source = std::move(other.source);
    thumbnailKey_ = other.thumbnailKey_;
  }
  return *this;
}

PhotoItem::~PhotoItem() { ReleaseHandles(); }

void PhotoItem::ReleaseHandles() {
  CImageObj::ReleaseNode(node);
  CImageObj::ReleaseNode(nodeB);
  node = nodeB = nullptr;
}

void PhotoItem::CopyFieldsFrom(const PhotoItem& other, bool clonePictures) {
  path = other.path;
  editRecord = other.editRecord;
  auxRecord = other.auxRecord;
  node = CImageObj::DupHandle(other.node);
  nodeB = CImageObj::DupHandle(other.nodeB);
  rotation = other.rotation;
  cropRotation = other.cropRotation;
  crop = other.crop;
  faceData = other.faceData;
  workingImageCap = other.workingImageCap;
  workingImage = clonePictures ? other.workingImage.clone() : other.workingImage;
  thumbnail = clonePictures ? other.thumbnail.clone() : other.thumbnail;
  source = other.source;
  thumbnailKey_ = other.thumbnailKey_;
}

PhotoItem PhotoItem::Snapshot() const {
  PhotoItem copy;
  copy.CopyFieldsFrom(*this, false);
  return copy;
}

cv::Mat PhotoItem::LoadSource() {
  if (!source) return {};
  std::lock_guard lock(source->lock);
  const bool fromFile = !path.empty() || (nodeB && auxRecord && !auxRecord->path.empty());
  if (fromFile && source->loadFailure) return {};
  std::string failure;
  cv::Mat picture;
  if (nodeB && auxRecord && !auxRecord->path.empty()) {
    picture = CImageObj::GetOutImg(nodeB, &failure);
    CImageObj::ReleaseImgBuf(nodeB);
  } else if (node && !path.empty()) {
    if (editRecord) editRecord->path = path.string();
    picture = CImageObj::GetOutImg(node, &failure);
  } else if (!path.empty()) {
    // The picture is about to be capped: a big JPEG need not be decoded at
    // full size for that.
    ImageLoadOptions options;
    options.fitBox = cv::Size(workingImageCap, workingImageCap);
    ImageLoadResult loaded = LoadImageFile(path, options);
    if (!loaded.image.empty() && editRecord && !editRecord->pathsFilled) {
      editRecord->title = loaded.title.value_or(std::string());
      editRecord->description = loaded.description.value_or(std::string());
      editRecord->pathsFilled = true;
    }
    source->loadWarnings = std::move(loaded.warnings);
    picture = std::move(loaded.image);
    failure = std::move(loaded.failure);
  } else {
    // A photo made from a result image keeps its only copy in the source
    // record; its node, when it was edited, carries the edits only.
    if (node && !source->unedited.empty()) return ApplyPhotoEdits(source->unedited, CImageObj::GetEdits(node));
    return source->unedited;
  }
  if (picture.empty()) source->loadFailure = failure.empty() ? std::string("cannot load the photo") : failure;
  return picture;
}

const cv::Mat& PhotoItem::WorkingImage() {
  if (!workingImage.empty()) return workingImage;
  cv::Mat picture = LoadSource();
  if (picture.empty()) return workingImage;
  if (picture.type() != CV_8UC3) picture = ToEightBitColour(picture, false);

  const int cap = std::max(1, workingImageCap);
  if (picture.cols > cap || picture.rows > cap) {
    cv::Mat capped;
    cv::resize(picture, capped, FitInside(picture.size(), {cap, cap}, false), 0, 0, cv::INTER_LINEAR);
    picture = capped;
  }

  cv::Mat turned = TurnPicture(picture, rotation);
  const auto turnedCrop = rotation != cropRotation ? TurnCrop(crop, rotation - cropRotation) : crop;
  workingImage = turned(CropPixels(turnedCrop, turned.size()));
  return workingImage;
}

void PhotoItem::Reload() {
  if (source) {
    std::lock_guard lock(source->lock);
    source->loadFailure.reset();
    source->loadWarnings.clear();
  }
  DropWorkingImage();
}

std::optional<std::string> PhotoItem::LoadFailure() const {
  if (!source) return std::nullopt;
  std::lock_guard lock(source->lock);
  return source->loadFailure;
}

std::vector<std::string> PhotoItem::LoadWarnings() const {
  if (!source) return {};
  std::lock_guard lock(source->lock);
  return source->loadWarnings;
}

void PhotoItem::DropWorkingImage() {
  workingImage.release();
  CImageObj::ReleaseImgBuf(node);
  CImageObj::ReleaseImgBuf(nodeB);
}

void PhotoItem::MakeThumbnail(int width, int height) {
  const cv::Mat& picture = WorkingImage();
  if (picture.empty() || width <= 0 || height <= 0) {
    thumbnail.release();
    thumbnailKey_ = {};
    return;
  }
  thumbnail = ScaleToFit(picture, {width, height}, true, cv::INTER_AREA);
  thumbnailKey_ = CurrentKey(width, height);
}

bool PhotoItem::ThumbnailCurrent(int width, int height) const {
  return !thumbnail.empty() && thumbnailKey_ == CurrentKey(width, height);
}

cv::Mat ScaleToFit(const cv::Mat& picture, cv::Size box, bool enlarge, int interpolation) {
  if (picture.empty()) return {};
  const cv::Size size = FitInside(picture.size(), box, enlarge);
  if (size == picture.size()) return picture.clone();
  cv::Mat scaled;
  cv::resize(picture, scaled, size, 0, 0, size.width > picture.cols ? cv::INTER_LINEAR : interpolation);
  return scaled;
}

}  // namespace grinsnap
