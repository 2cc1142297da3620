#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include <opencv2/core.hpp>

namespace grinsnap {

// The one way picture files come into the program: photos, template and
// filter resources, gallery thumbnails.
//
// Decodes with OpenCV and returns 8-bit blue-green-red, or blue-green-red-
// alpha when keepAlpha is set and the picture has an alpha channel. Grey,
// palette, 16-bit and floating-point pictures are converted; the EXIF
// orientation of JPEG and PNG files is applied so that camera photos come in
// upright. Title and description are set when the file carries them and
// left untouched otherwise (also on failure).
//
// Returns an empty Mat on failure and then appends one line to log.txt in
// the application-data folder. Never throws. A picture whose header declares
// more than kMaxImageSide pixels on a side or more than kMaxImagePixels in
// all is refused before anything is decoded.
cv::Mat LoadImageFile(const std::filesystem::path& path, std::string* title = nullptr,
                      std::string* description = nullptr, bool keepAlpha = false);

inline constexpr std::uint64_t kMaxImageSide = 16384;
inline constexpr std::uint64_t kMaxImagePixels = 100'000'000;

// Whether a picture of this size may be decoded: both sides positive and
// within the limits above.
bool ImageSizeAllowed(std::uint64_t width, std::uint64_t height);

// The formats whose headers the loader reads itself.
enum class ImageFileFormat {
  kUnknown,
  kPng,
  kJpeg,
  kBmp,
  kGif,
  kWebp,
  kTiff,
  kPnm,  // PBM/PGM/PPM, PAM and PFM
  kSunRaster,
  kRadiance,
  kJpeg2000,
};

// What a picture file's header declares. width and height stay 0 when the
// format is recognised but its header is cut short or malformed.
struct ImageFileHeader {
  ImageFileFormat format = ImageFileFormat::kUnknown;
  std::uint64_t width = 0;
  std::uint64_t height = 0;
};

// Reads the format and declared pixel size from a file's bytes without
// decoding any pixels.
ImageFileHeader ProbeImageHeader(std::span<const std::uint8_t> bytes);

// Orientation, title and description a file carries.
struct ImageFileMetadata {
  int orientation = 1;  // EXIF orientation, 1..8; 1 is upright
  std::optional<std::string> title;
  std::optional<std::string> description;
};

// Reads IFD0 of a TIFF structure (the payload of a JPEG "Exif" segment or a
// PNG eXIf chunk): Orientation (274), ImageDescription (270), the title
// (tag 800, else the UTF-16 XPTitle 0x9C9B). Both byte orders; damaged
// entries are skipped.
ImageFileMetadata ReadExifMetadata(std::span<const std::uint8_t> tiff);

// Metadata of a whole file: JPEG Exif segment, PNG text chunks (Title,
// Description) and eXIf chunk, TIFF IFD0. Text comes out as UTF-8.
ImageFileMetadata ReadImageMetadata(std::span<const std::uint8_t> bytes);

// Converts a picture as OpenCV decodes it (any depth, 1 to 4 channels or
// more) to 8-bit BGR, or BGRA when keepAlpha is set and it has alpha.
// 16-bit values are divided by 257, floating-point ones multiplied by 255.
cv::Mat ToEightBitColour(const cv::Mat& decoded, bool keepAlpha);

// Turns stored pixels upright according to an EXIF orientation (1..8; any
// other value leaves the picture as it is).
cv::Mat ApplyExifOrientation(const cv::Mat& stored, int orientation);

}  // namespace grinsnap
