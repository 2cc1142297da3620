#include "app/export_rules.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdint>
#include <system_error>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "app/atomic_file.h"
#include "app/picture_file.h"
#include "platform/image_loader.h"

namespace grinsnap {

int SizeLimit(ExportMode mode) { return mode == ExportMode::kGif ? kGifSizeLimit : kImageSizeLimit; }

ExportSize AspectFit(ExportSize box, ExportSize source) {
  if (!source.Positive() || !box.Positive()) return box;
  // Single precision on purpose: the sizes the dialog shows depend on it.
  const float s = std::min(static_cast<float>(box.height) / static_cast<float>(source.height),
                           static_cast<float>(box.width) / static_cast<float>(source.width));
  const float width = static_cast<float>(source.width) * s;
  const float height = static_cast<float>(source.height) * s;
  return {static_cast<int>(std::lround(width)), static_cast<int>(std::lround(height))};
}

namespace {

struct Recommended {
  const char* label;
  ExportSize size;
};
constexpr std::array<Recommended, kRecommendedSizeCount> kRecommended = {{
    {"Thumbnail", {150, 100}},
    {"Small", {320, 240}},
    {"Medium", {640, 480}},
    {"Large", {800, 600}},
    {"Standard Screen Resolution", {1024, 768}},
    {"Native Screen Resolution", {0, 0}},
}};

int NarrowToInt(std::int64_t value) {
  return static_cast<int>(std::clamp<std::int64_t>(value, INT_MIN, INT_MAX));
}

// a * b / c in 64 bits, so that a typed-in width times a picture height
// cannot overflow; c is positive.
int MulDiv(std::int64_t a, std::int64_t b, std::int64_t c) { return NarrowToInt(a * b / c); }

// The two clamping steps after an edit: a width over the limit takes the
// limit and the height follows the source's aspect; then a height over the
// limit does the same the other way.
void HoldToLimit(SizeFields& f) {
  if (!f.HasSource()) {
    // Without a picture there is no aspect to follow; each value is held on its own.
    f.width = std::min(f.width, f.limit);
    f.height = std::min(f.height, f.limit);
    return;
  }
  const ExportSize s = f.source;
  if (f.width > f.limit) {
    f.width = f.limit;
    f.height = MulDiv(f.limit, s.height, s.width);
  }
  if (f.height > f.limit) {
    f.width = MulDiv(f.limit, s.width, s.height);
    f.height = f.limit;
  }
}

}  // namespace

const char* RecommendedSizeLabel(int index) {
  if (index < 0 || index >= kRecommendedSizeCount) return "";
  return kRecommended[static_cast<std::size_t>(index)].label;
}

ExportSize RecommendedSize(int index, ExportSize screen) {
  if (index < 0 || index >= kRecommendedSizeCount) return {};
  if (index == kNativeScreenSizeIndex) return screen;
  return kRecommended[static_cast<std::size_t>(index)].size;
}

void EditWidth(SizeFields& f, int entered) {
  f.width = std::max(entered, 0);
  if (f.keepAspect && f.HasSource() && f.width > 0) f.height = MulDiv(f.width, f.source.height, f.source.width);
  HoldToLimit(f);
  f.highlighted = kNoRecommendedSize;
}

void EditHeight(SizeFields& f, int entered) {
  f.height = std::max(entered, 0);
  if (f.keepAspect && f.HasSource() && f.height > 0) f.width = MulDiv(f.height, f.source.width, f.source.height);
  HoldToLimit(f);
  f.highlighted = kNoRecommendedSize;
}

void ToggleKeepAspect(SizeFields& f, bool on) {
  f.keepAspect = on;
  if (on && f.width > 0 && f.height > 0) {
    const ExportSize fitted = AspectFit(f.Size(), f.source);
    f.width = fitted.width;
    f.height = fitted.height;
  }
  if (f.width == 0) f.width = kDefaultExportWidth;
  if (f.height == 0) f.height = kDefaultExportHeight;
}

void ChooseRecommendedSize(SizeFields& f, int index, ExportSize screen) {
  if (index < 0 || index >= kRecommendedSizeCount) return;
  ExportSize size = RecommendedSize(index, screen);
  if (f.keepAspect) size = AspectFit(size, f.source);
  f.width = size.width;
  f.height = size.height;
  f.highlighted = index;
}

void CheckSize(SizeFields& f) {
  f.width = std::clamp(f.width, 0, f.limit);
  f.height = std::clamp(f.height, 0, f.limit);
  if (f.keepAspect && f.HasSource() && f.width > 0 && f.height > 0) {
    const ExportSize fitted = AspectFit(f.Size(), f.source);
    f.width = fitted.width;
    f.height = fitted.height;
  }
}

void ChooseMode(SizeFields& f, std::string& path, ExportMode mode) {
  f.limit = SizeLimit(mode);
  path = PathForMode(path, mode);
  CheckSize(f);
}

// ---- Paths ----

namespace {

// Position of the dot that starts the extension, or npos. A separator or a
// blank after a dot means that dot does not start an extension.
std::size_t ExtensionDot(std::string_view path) {
  std::size_t dot = std::string_view::npos;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (path[i] == '/' || path[i] == ' ')
      dot = std::string_view::npos;
    else if (path[i] == '.')
      dot = i;
  }
  return dot;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string WithExtension(const std::string& path, std::size_t dot, std::string_view extension) {
  return path.substr(0, dot + 1) + std::string(extension);
}

}  // namespace

std::string FileExtension(std::string_view path) {
  const std::size_t dot = ExtensionDot(path);
  return dot == std::string_view::npos ? std::string() : std::string(path.substr(dot + 1));
}

std::string PathForMode(const std::string& path, ExportMode mode) {
  // An empty path stays empty: OK does nothing with it.
  if (path.empty()) return path;
  const std::size_t dot = ExtensionDot(path);
  if (mode == ExportMode::kGif) {
    if (dot == std::string::npos) return path + ".gif";
    return EqualsIgnoringCase(FileExtension(path), "gif") ? path : WithExtension(path, dot, "gif");
  }
  if (dot == std::string::npos) return path + ".jpg";
  const std::string extension = FileExtension(path);
  for (const char* accepted : kImageExtensions)
    if (EqualsIgnoringCase(extension, accepted)) return path;
  return WithExtension(path, dot, "jpg");
}

std::string ImageSavePath(const std::string& path) {
  const std::string extension = FileExtension(path);
  if (ExtensionDot(path) != std::string::npos)
    for (const char* accepted : kImageExtensions)
      if (extension == accepted) return path;
  return path + ".jpg";
}

std::string GifSavePath(const std::string& path) {
  const std::size_t dot = ExtensionDot(path);
  if (dot == std::string::npos) return path + ".gif";
  return FileExtension(path) == "gif" ? path : WithExtension(path, dot, "gif");
}

std::string PathWithPhotoName(const std::string& path, const std::string& name) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  return folder + name + ".jpg";
}

namespace {

// Two spellings of one file: compared as absolute, normal paths, so that
// "./a/../b.jpg" and "b.jpg" meet; a file that exists is also compared by
// identity (links, bind mounts).
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code error;
  if (std::filesystem::equivalent(a, b, error)) return true;
  const auto normal = [](const std::filesystem::path& p) {
    std::error_code ignored;
    const std::filesystem::path absolute = std::filesystem::absolute(p, ignored);
    return (absolute.empty() ? p : absolute).lexically_normal();
  };
  return normal(a) == normal(b);
}

}  // namespace

std::string ProposedExportPath(const std::string& path, const std::string& name,
                               const std::filesystem::path& photoFile) {
  const std::string proposed = PathWithPhotoName(path, name);
  if (photoFile.empty() || !SameFile(proposed, photoFile)) return proposed;
  return PathWithPhotoName(path, name + "_grinsnap");
}

int ParseDecimal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  std::int64_t value = 0;
  // Capped just past INT_MAX, which still saturates either sign.
  constexpr std::int64_t kCap = static_cast<std::int64_t>(INT_MAX) + 1;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
    value = std::min(value * 10 + (text[i] - '0'), kCap);
  return NarrowToInt(negative ? -value : value);
}

bool ExportSizeTextValid(std::string_view width, std::string_view height) {
  return ParseDecimal(width) >= 1 && ParseDecimal(height) >= 1;
}

std::filesystem::path PreviewTempFile(const std::filesystem::path& folder, const std::string& photoPath) {
  std::string extension = FileExtension(photoPath);
  if (extension.empty()) extension = "jpg";
  return folder / ("temp_preview." + extension);
}

// ---- Pictures and files ----

ExportSize KeepAspectSize(ExportSize requested, ExportSize source) {
  // A width typed with keep aspect sets the height by integer division
  // (1000 on a 600 x 400 picture reads 1000 x 666); fitting that pair again
  // would round the width down to 999. A pair in which one side follows
  // from the other that way has the picture's aspect already and is the
  // size the user asked for.
  if (requested.Positive() && source.Positive() &&
      (requested.height == MulDiv(requested.width, source.height, source.width) ||
       requested.width == MulDiv(requested.height, source.width, source.height)))
    return requested;
  return AspectFit(requested, source);
}

cv::Mat ResizeForExport(const cv::Mat& picture, ExportSize requested, bool keepAspect) {
  if (picture.empty()) return {};
  const ExportSize size = keepAspect ? KeepAspectSize(requested, {picture.cols, picture.rows}) : requested;
  if (!size.Positive()) return {};
  const cv::Mat colour = picture.type() == CV_8UC3 ? picture : ToEightBitColour(picture, false);
  if (size.width == colour.cols && size.height == colour.rows) return colour.clone();
  cv::Mat resized;
  cv::resize(colour, resized, cv::Size(size.width, size.height), 0, 0, cv::INTER_LINEAR);
  return resized;
}

bool EncodeExportImage(const cv::Mat& picture, std::string_view extension, const std::string& title,
                       const std::string& description, std::string& bytes, const PhotoMetadata* source) {
  PictureWriteOptions options;
  options.title = title;
  options.description = description;
  options.source = source;
  return EncodePicture(picture, PictureFormatOf(extension).value_or(PictureFormat::kJpeg), options, bytes);
}

bool CreateFoldersAlongPath(const std::string& path) {
  const std::size_t first = path.find('/');
  if (first == std::string::npos) return true;
  for (std::size_t at = path.find('/', first + 1); at != std::string::npos; at = path.find('/', at + 1)) {
    const std::filesystem::path folder(path.substr(0, at));
    std::error_code error;
    if (std::filesystem::is_directory(folder, error)) continue;
    std::filesystem::create_directory(folder, error);
    if (!std::filesystem::is_directory(folder, error)) return false;
  }
  return true;
}

namespace {

bool Exists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(std::filesystem::path(path), error);
}

}  // namespace

SaveResult SaveImageFile(const cv::Mat& picture, const std::string& path, const std::string& title,
                         const std::string& description, const ConfirmOverwrite& confirm, std::string* finalPath,
                         const PhotoMetadata* source) {
  if (picture.empty() || path.empty()) return SaveResult::kFailed;
  if (!CreateFoldersAlongPath(path)) return SaveResult::kFailed;
  if (path.back() == '/') return SaveResult::kFailed;
  const std::string target = ImageSavePath(path);
  if (Exists(target) && !(confirm && confirm(target))) return SaveResult::kCancelled;
  std::string bytes;
  if (!EncodeExportImage(picture, FileExtension(target), title, description, bytes, source)) return SaveResult::kFailed;
  if (!WriteFileAtomically(target, bytes)) return SaveResult::kFailed;
  if (finalPath) *finalPath = target;
  return SaveResult::kSaved;
}

std::filesystem::path GifTempFile(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  return folder / "tmp.gif";
}

int ExportGifFile(const std::string& path, const std::filesystem::path& tempFile, const ConfirmOverwrite& confirm,
                  const RenderAnimation& render, std::string* finalPath) {
  if (path.empty() || !CreateFoldersAlongPath(path)) return kGifExportFailed;
  const std::string target = GifSavePath(path);
  if (Exists(target) && !(confirm && confirm(target))) return kGifExportCancelled;
  if (!render || !render(tempFile.string())) return kGifExportFailed;
  // The animation just written may be far larger than a data file.
  constexpr std::size_t kMaxAnimationBytes = std::size_t(1) << 31;
  std::string bytes;
  const bool copied = ReadWholeFile(tempFile, bytes, kMaxAnimationBytes) && WriteFileAtomically(target, bytes);
  // The frames were written for this export only.
  std::error_code ignored;
  std::filesystem::remove(tempFile, ignored);
  if (!copied) return kGifExportFailed;
  if (finalPath) *finalPath = target;
  return kGifExportDone;
}

}  // namespace grinsnap
