#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace grinsnap {

// The one way picture files come into the program: photos, template and
// filter resources, gallery thumbnails.
//
// Decodes with OpenCV and returns 8-bit blue-green-red, or blue-green-red-
// alpha when keepAlpha is set and the picture has an alpha channel. Grey,
// palette, 16-bit and floating-point pictures are converted; the EXIF
// orientation of JPEG, PNG and WebP files is applied so that camera photos come in
// upright. A picture with an embedded ICC profile other than sRGB is
// converted to sRGB (perceptual intent); one without a profile is taken as
// sRGB. A profile that cannot be used is a warning, and the picture is then
// taken as sRGB. Title and description are set when the file carries them
// and left untouched otherwise (also on failure).
//
// Returns an empty Mat on failure and then appends one line to log.txt in
// the application-data folder. Never throws. A picture whose header declares
// more than kMaxImageSide pixels on a side or more than kMaxImagePixels in
// all is refused before anything is decoded.
cv::Mat LoadImageFile(const std::filesystem::path& path, std::string* title = nullptr,
                      std::string* description = nullptr, bool keepAlpha = false);

struct ImageLoadOptions {
  bool keepAlpha = false;
  // The box the picture is going to be fitted into (keeping its aspect
  // ratio, never enlarged). A JPEG larger than that is decoded at 1/2, 1/4
  // or 1/8 of its size, the smallest scale that still leaves the upright
  // picture at least as large as its fitted size in both directions, which
  // saves most of the decoding time and memory of a big camera photo.
  std::optional<cv::Size> fitBox;
};

struct ImageLoadResult {
  cv::Mat image;  // empty on failure
  // Why the load failed: the reason that also goes to log.txt.
  std::string failure;
  // What is wrong with a picture that still loaded (a JPEG cut short).
  std::vector<std::string> warnings;
  std::optional<std::string> title;
  std::optional<std::string> description;
};

// The same load, with the reason of a failure and the warnings.
ImageLoadResult LoadImageFile(const std::filesystem::path& path, const ImageLoadOptions& options);

// 65535 is the largest side a JPEG can declare; it also takes panoramas.
// 2^28 pixels (268 MP) take the largest camera photos (about 200 MP, such as
// 16320 x 12240) while an 8-bit colour picture stays within 768 MiB (1 GiB
// with alpha) and within OpenCV's own limit of 2^30 pixels.
inline constexpr std::uint64_t kMaxImageSide = 65535;
inline constexpr std::uint64_t kMaxImagePixels = std::uint64_t(1) << 28;

// The size of a picture fitted into a box keeping its aspect ratio
// (factor = min(box width / width, box height / height), sizes rounded to
// nearest, at least one pixel); pictures already inside are not enlarged
// unless enlarge is set.
cv::Size FitInside(cv::Size picture, cv::Size box, bool enlarge);

// The JPEG decoding scale (1, 2, 4 or 8) for a picture stored at width x
// height under an EXIF orientation that is to be fitted into box: the
// largest whose reduced picture (each side divided and rounded up, as the
// decoder does) is at least the fitted size in both directions.
int JpegReduction(std::uint64_t width, std::uint64_t height, int orientation, cv::Size box);

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

// Whether a JPEG's bytes hold its end-of-image marker after the last scan.
// A file cut short lacks it; the decoder then fills in the missing part.
bool JpegHasEndMarker(std::span<const std::uint8_t> bytes);

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

// The ICC colour profile a file carries: JPEG APP2 "ICC_PROFILE" segments
// (joined in order), PNG iCCP, WebP ICCP, TIFF tag 34675. bytes stay empty
// when there is none; problem says why one that is there cannot be used
// (parts missing, damaged, larger than kMaxIccProfileBytes).
struct EmbeddedIccProfile {
  std::vector<std::uint8_t> bytes;
  std::string problem;
};
EmbeddedIccProfile ReadIccProfile(std::span<const std::uint8_t> bytes);

// Camera and display profiles take a few kilobytes, large table-based ones
// about a megabyte; more is not a profile a photo needs.
inline constexpr std::size_t kMaxIccProfileBytes = std::size_t(4) << 20;

// Converts a picture as OpenCV decodes it (any depth, 1 to 4 channels or
// more) to 8-bit BGR, or BGRA when keepAlpha is set and it has alpha.
// 16-bit values are divided by 257, floating-point ones multiplied by 255.
cv::Mat ToEightBitColour(const cv::Mat& decoded, bool keepAlpha);

// Turns stored pixels upright according to an EXIF orientation (1..8; any
// other value leaves the picture as it is).
cv::Mat ApplyExifOrientation(const cv::Mat& stored, int orientation);

}  // namespace grinsnap
