#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <opencv2/core.hpp>

namespace grinsnap {

// Saved pictures: the encoders by format, the sRGB profile and the photo's
// own metadata (EXIF, IPTC, XMP, through exiv2) that a saved picture keeps.

enum class PictureFormat { kJpeg, kPng, kBmp, kWebp, kTiff };

// The format a file extension names, ignoring case, with or without its
// dot: jpg/jpeg/jpe, png, bmp, webp, tif/tiff. None for any other.
std::optional<PictureFormat> PictureFormatOf(std::string_view extension);
// Whether the format stores an alpha channel (PNG, WebP, TIFF).
bool KeepsAlpha(PictureFormat format);

// What a photo file says about itself, as read from it: its EXIF, IPTC and
// XMP data. Read once, written into any number of pictures made from it.
struct PhotoMetadata;

struct PhotoMetadataRead {
  // Null when the file has no metadata or it cannot be read.
  std::shared_ptr<const PhotoMetadata> metadata;
  // Why the metadata cannot be read; "" when it was read or there is none.
  std::string problem;
};
PhotoMetadataRead ReadPhotoMetadata(const std::filesystem::path& photo);

// The number of EXIF, IPTC and XMP entries held.
std::size_t MetadataEntryCount(const PhotoMetadata& metadata);

struct PictureWriteOptions {
  // JPEG and WebP quality, 1 to 100; none keeps the encoders' defaults
  // (JPEG 95, WebP lossless).
  std::optional<int> quality;
  // The photo the picture was made from; its metadata is kept unless strip.
  const PhotoMetadata* source = nullptr;
  // Leave out the photo's metadata and the program's own tags.
  bool strip = false;
  // Written when not empty: EXIF ImageTitle (0x0320) and ImageDescription,
  // XMP dc:title and dc:description.
  std::string title;
  std::string description;
};

// Encodes a picture (8-bit grey, BGR or BGRA; grey is written as colour,
// alpha is kept by the formats that store it and dropped by the others)
// with an sRGB profile. Unless
// strip, the source photo's metadata goes along, with the orientation reset
// to upright (the pixels are upright), the pixel dimensions set to the
// picture's, the embedded thumbnail (a small copy of the photo, not of the
// picture) dropped, the colour space set to sRGB and the software tag set to
// Grinsnap. BMP carries no metadata.
//
// Metadata that cannot be written is left out and said in warnings; false
// only when the picture itself cannot be encoded.
bool EncodePicture(const cv::Mat& picture, PictureFormat format, const PictureWriteOptions& options,
                   std::string& bytes, std::vector<std::string>* warnings = nullptr);

}  // namespace grinsnap
