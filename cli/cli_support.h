#pragma once

#include <array>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "app/picture_file.h"

namespace grinsnap::cli {

// Exit codes of grinsnap-cli, as --help lists them.
enum ExitCode : int {
  kExitOk = 0,
  kExitSomeFailed = 1,       // batch: at least one photo failed
  kExitUsage = 2,            // bad command line
  kExitTemplate = 3,         // template not found or not loadable
  kExitPhoto = 4,            // a photo could not be read
  kExitOutput = 5,           // the result could not be written
  kExitNoResult = 6,         // the effect gave no picture, or has no animation
  kExitFaceCascade = 7,      // faces: the face cascade could not be loaded
};

// An error that ends the command: what went wrong, what to do, and the exit code.
struct CliError : std::runtime_error {
  CliError(int code, const std::string& message, std::string hint = {})
      : std::runtime_error(message), exitCode(code), hint(std::move(hint)) {}
  int exitCode;
  std::string hint;
};

// "800x600" → size; throws CliError(kExitUsage) naming the option.
cv::Size ParseSize(const std::string& option, const std::string& text);
// "a,b,c" with exactly count numbers, each within [0, 1].
std::vector<double> ParseFractions(const std::string& option, const std::string& text, std::size_t count);
double ParseNumber(const std::string& option, const std::string& text);
long long ParseInteger(const std::string& option, const std::string& text, long long min, long long max);

// Names closest to wanted (edit distance, case-insensitive), best first, at most limit.
std::vector<std::string> ClosestNames(const std::string& wanted, const std::vector<std::string>& names,
                                      std::size_t limit);
bool EqualsIgnoreCase(const std::string& a, const std::string& b);

// Picture formats the command line writes, by file extension.
bool IsWritableImageExtension(const std::filesystem::path& path);
inline constexpr const char* kWritableExtensions = ".jpg, .jpeg, .png, .bmp, .webp, .tif, .tiff";
// The format named by --format: jpg, png, bmp, webp or tif. Throws CliError(kExitUsage).
PictureFormat ParseFormat(const std::string& text);
inline constexpr const char* kFormatNames = "jpg, png, bmp, webp or tif";
// The file extension written for a format (".jpg", ".png", ".bmp", ".webp", ".tif").
const char* FormatExtension(PictureFormat format);

// The path that stands for standard input or output.
inline constexpr const char* kPipePath = "-";
// Photo files a folder given to batch contributes.
bool IsPhotoFile(const std::filesystem::path& path);

// Encodes a picture in the format (by default the one the path's extension
// names), with the metadata the options give, and replaces the file in one
// step (a failed write leaves any old file as it was). Refuses to replace an
// existing file unless overwrite is set. The path "-" writes to standard
// output. Metadata that cannot be written is warned about. Throws
// CliError(kExitOutput).
void WriteImage(const std::filesystem::path& path, const cv::Mat& picture, const PictureWriteOptions& options,
                bool overwrite, std::optional<PictureFormat> format = std::nullopt);

// The metadata a photo's pictures keep (none with strip); a photo whose
// metadata cannot be read is warned about once and its pictures go without.
std::shared_ptr<const PhotoMetadata> PhotoMetadataFor(const std::filesystem::path& photo, bool strip);

// Prints "grinsnap-cli: warning: TEXT" on standard error, once per text in
// the whole run (a photo that every template of a gallery loads warns once).
// Safe from any thread.
void WarnOnce(const std::string& text);

// Prints once per run that the user's data cannot be saved; installed as the
// handler of ReportUserDataProblem.
void NoteUnsavedUserData(const std::filesystem::path& file, const std::string& reason);

// Progress of a long run: a bar that redraws itself on a terminal, plain
// lines otherwise.
class Progress {
public:
  Progress(int total, bool terminal);
  void Step(const std::string& label, bool failed);
  void Finish();

private:
  int total_;
  int done_ = 0;
  bool terminal_;
};

}  // namespace grinsnap::cli
