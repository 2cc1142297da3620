#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include <opencv2/core.hpp>

namespace grinsnap {

struct PhotoMetadata;

// What the export dialog writes: a picture file, or the current template's
// animation as a GIF file.
enum class ExportMode : int { kImage = 0, kGif = 1 };

// Captions of the export's message boxes.
inline constexpr const char* kCaptionError = "Error";
inline constexpr const char* kCaptionNoImage = "No image";
inline constexpr const char* kCaptionSuccess = "Success";
inline constexpr const char* kCaptionFailed = "Failed";
inline constexpr const char* kCaptionWarning = "warning";
inline constexpr const char* kCaptionNoGifExport = "No gif export";

// The largest width or height the size fields accept in each mode.
inline constexpr int kImageSizeLimit = 5000;
inline constexpr int kGifSizeLimit = 1024;
int SizeLimit(ExportMode mode);

// The size fields before the dialog knows the picture, and what a zero
// becomes when the keep-aspect box is toggled.
inline constexpr int kDefaultExportWidth = 400;
inline constexpr int kDefaultExportHeight = 300;

// The recommended sizes offered as labels; the last one is the screen's.
inline constexpr int kRecommendedSizeCount = 6;
inline constexpr int kNativeScreenSizeIndex = 5;
inline constexpr int kNoRecommendedSize = -1;

struct ExportSize {
  int width = 0;
  int height = 0;
  bool Positive() const { return width > 0 && height > 0; }
  bool operator==(const ExportSize&) const = default;
};

// The source scaled to fill the box as far as it can without changing its
// aspect ratio: s = min(box height / height, box width / width) in single
// precision, then round(width * s) x round(height * s). Smaller sources are
// enlarged. A source or box without area is returned as the box.
ExportSize AspectFit(ExportSize box, ExportSize source);

// The label and size of a recommended size (0..5); index 5 is the screen
// size passed in. Out-of-range indices give "" and 0 x 0.
const char* RecommendedSizeLabel(int index);
ExportSize RecommendedSize(int index, ExportSize screen);

// The export dialog's size fields and the rules that tie them together.
// `source` is the size of the picture being exported, 0 x 0 when there is
// none; `limit` follows the mode.
struct SizeFields {
  int width = kDefaultExportWidth;
  int height = kDefaultExportHeight;
  bool keepAspect = true;
  ExportSize source;
  int limit = kImageSizeLimit;
  int highlighted = kNoRecommendedSize;

  bool HasSource() const { return source.Positive(); }
  ExportSize Size() const { return {width, height}; }
};

// The width field was changed to `entered`: negatives become 0; with keep
// aspect (and a source) the height follows by integer division; then the
// width and the height are held to the limit, keeping the source's aspect.
// Clears the highlighted recommended size.
void EditWidth(SizeFields& fields, int entered);
// The same for the height field, the width following.
void EditHeight(SizeFields& fields, int entered);
// The keep-aspect box was set to `on`. Switching it on with both values
// positive fits the pair to the source's aspect; then a zero width becomes
// 400 and a zero height 300.
void ToggleKeepAspect(SizeFields& fields, bool on);
// A recommended size was clicked: its pair, fitted with keep aspect, without
// the limit; it becomes the highlighted one.
void ChooseRecommendedSize(SizeFields& fields, int index, ExportSize screen);
// Both values clamped to 0..limit, then fitted with keep aspect when both
// are positive.
void CheckSize(SizeFields& fields);

// A mode was chosen: the limit follows it, the path's extension is made to
// fit it (see PathForMode) and the size check runs.
void ChooseMode(SizeFields& fields, std::string& path, ExportMode mode);

// The extension rule of a mode switch. Image: no extension gets ".jpg"; an
// extension that is none of kImageExtensions (ignoring case) is replaced by
// "jpg".
// GIF: no extension gets ".gif"; any extension other than gif (ignoring
// case) is replaced by "gif".
std::string PathForMode(const std::string& path, ExportMode mode);
// The extension rule when an image file is written: no extension, or one
// that is not exactly one of kImageExtensions, gets ".jpg" appended.
std::string ImageSavePath(const std::string& path);
// The extension rule when a GIF file is written: no extension gets ".gif";
// one that is not exactly "gif" is replaced by "gif".
std::string GifSavePath(const std::string& path);
// The path's folder followed by the photo's name and ".jpg".
std::string PathWithPhotoName(const std::string& path, const std::string& name);
// The path the export dialog proposes for a photo: PathWithPhotoName, unless
// that is the photo's own file (the same file once both are made absolute
// and normal), which an export must never replace by a press of Enter; then
// the name gets "_grinsnap" before its extension.
std::string ProposedExportPath(const std::string& path, const std::string& name,
                               const std::filesystem::path& photoFile);

// The extension of a path (the text after the last dot of its file name,
// without the dot); "" for none. A blank after the dot means there is none.
std::string FileExtension(std::string_view path);

// A number as the size fields read it: leading blanks, an optional sign and
// the digits that follow; anything else ends the number; no digits is 0.
// Values beyond the int range are clamped.
int ParseDecimal(std::string_view text);
// OK is refused when either field reads below 1.
bool ExportSizeTextValid(std::string_view width, std::string_view height);

// The temporary file the preview writes the result to: "temp_preview." and
// the extension of the photo's file ("jpg" when it has none), in `folder`.
std::filesystem::path PreviewTempFile(const std::filesystem::path& folder, const std::string& photoPath);

// The size a picture is saved at with keep aspect: the aspect fit of the
// requested size, except that a pair the size fields made (one side is the
// other times the picture's aspect, by integer division) is kept as typed.
ExportSize KeepAspectSize(ExportSize requested, ExportSize source);

// The picture resized (bilinear) for saving: to KeepAspectSize of the
// requested size with keep aspect, else to the requested size; always 8-bit
// three-channel. Empty for an empty picture or a size without area.
cv::Mat ResizeForExport(const cv::Mat& picture, ExportSize requested, bool keepAspect);

// The picture file extensions the image encoders write, in the order the
// save dialog offers them.
inline constexpr const char* kImageExtensions[] = {"jpg", "png", "bmp", "webp", "tif"};

// Encodes a picture by extension (ignoring case): "png" as PNG, "bmp" as
// BMP, "webp" as WebP, "tif" as TIFF, anything else as JPEG, with the
// encoders' default settings (see EncodePicture). A title and a description,
// when given, go into the picture's EXIF (ImageTitle 0x0320,
// ImageDescription 0x010E) and XMP; the metadata of the source photo, when
// given, goes along. BMP carries none of them.
bool EncodeExportImage(const cv::Mat& picture, std::string_view extension, const std::string& title,
                       const std::string& description, std::string& bytes, const PhotoMetadata* source = nullptr);

// Creates every folder along a path (each prefix before a '/' after the
// first one); false when one cannot be made.
bool CreateFoldersAlongPath(const std::string& path);

enum class SaveResult { kFailed, kSaved, kCancelled };

// Asked when the target exists; true overwrites.
using ConfirmOverwrite = std::function<bool(const std::string& path)>;

// Writes a picture file: makes the folders, refuses a path ending in '/',
// applies ImageSavePath, asks before replacing an existing file, then
// encodes by the final extension and writes atomically. finalPath receives
// the path written.
SaveResult SaveImageFile(const cv::Mat& picture, const std::string& path, const std::string& title,
                         const std::string& description, const ConfirmOverwrite& confirm, std::string* finalPath,
                         const PhotoMetadata* source = nullptr);

// Result codes of a GIF export.
inline constexpr int kGifExportFailed = 0;
inline constexpr int kGifExportDone = 1;
inline constexpr int kGifExportCancelled = 2;

// Renders the animation into the temporary file; true on success.
using RenderAnimation = std::function<bool(const std::string& tempPath)>;

// The temporary GIF target: "tmp.gif" in the folder, which is created.
std::filesystem::path GifTempFile(const std::filesystem::path& folder);

// Exports a GIF: makes the folders, applies GifSavePath, asks before
// replacing an existing file (no → cancelled), renders into tempFile,
// copies it over the target and removes it. finalPath receives the target on success.
int ExportGifFile(const std::string& path, const std::filesystem::path& tempFile, const ConfirmOverwrite& confirm,
                  const RenderAnimation& render, std::string* finalPath);

}  // namespace grinsnap
