#include "cli/cli_support.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <set>
#include <sstream>

#include <opencv2/imgcodecs.hpp>

#include "app/atomic_file.h"
#include "platform/folders.h"

namespace grinsnap::cli {

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

std::string LowerExtension(const std::filesystem::path& path) { return Lower(path.extension().string()); }

std::size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

}  // namespace

bool EqualsIgnoreCase(const std::string& a, const std::string& b) { return Lower(a) == Lower(b); }

double ParseNumber(const std::string& option, const std::string& text) {
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end || !std::isfinite(value))
    throw CliError(kExitUsage, option + " wants a number, not '" + text + "'");
  return value;
}

long long ParseInteger(const std::string& option, const std::string& text, long long min, long long max) {
  long long value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end)
    throw CliError(kExitUsage, option + " wants a whole number, not '" + text + "'");
  if (value < min || value > max)
    throw CliError(kExitUsage,
                   option + " must be between " + std::to_string(min) + " and " + std::to_string(max) + ", not " + text);
  return value;
}

cv::Size ParseSize(const std::string& option, const std::string& text) {
  const auto x = text.find_first_of("xX");
  if (x == std::string::npos) throw CliError(kExitUsage, option + " wants WIDTHxHEIGHT, for example 800x600");
  const auto width = ParseInteger(option, text.substr(0, x), 1, 16384);
  const auto height = ParseInteger(option, text.substr(x + 1), 1, 16384);
  return {static_cast<int>(width), static_cast<int>(height)};
}

std::vector<double> ParseFractions(const std::string& option, const std::string& text, std::size_t count) {
  std::vector<double> values;
  std::stringstream stream(text);
  std::string part;
  while (std::getline(stream, part, ',')) values.push_back(ParseNumber(option, part));
  if (values.size() != count)
    throw CliError(kExitUsage, option + " wants " + std::to_string(count) + " comma-separated fractions, got '" +
                                   text + "'");
  for (double v : values)
    if (v < 0 || v > 1) throw CliError(kExitUsage, option + " takes fractions of the picture between 0 and 1");
  return values;
}

std::vector<std::string> ClosestNames(const std::string& wanted, const std::vector<std::string>& names,
                                      std::size_t limit) {
  const std::string key = Lower(wanted);
  std::vector<std::pair<std::size_t, std::string>> scored;
  for (const std::string& name : names) {
    const std::string lower = Lower(name);
    // A name that contains what was typed is as good as a near miss.
    const std::size_t distance = lower.find(key) != std::string::npos ? 1 : EditDistance(key, lower);
    scored.emplace_back(distance, name);
  }
  std::stable_sort(scored.begin(), scored.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> result;
  const std::size_t tolerance = std::max<std::size_t>(3, key.size() / 2);
  for (const auto& [distance, name] : scored) {
    if (result.size() == limit || distance > tolerance) break;
    result.push_back(name);
  }
  return result;
}

bool IsWritableImageExtension(const std::filesystem::path& path) {
  return PictureFormatOf(path.extension().string()).has_value();
}

PictureFormat ParseFormat(const std::string& text) {
  const std::optional<PictureFormat> format = PictureFormatOf(text);
  if (!format) throw CliError(kExitUsage, std::string("--format must be ") + kFormatNames + ", not '" + text + "'");
  return *format;
}

const char* FormatExtension(PictureFormat format) {
  switch (format) {
    case PictureFormat::kJpeg: return ".jpg";
    case PictureFormat::kPng: return ".png";
    case PictureFormat::kBmp: return ".bmp";
    case PictureFormat::kWebp: return ".webp";
    case PictureFormat::kTiff: return ".tif";
  }
  return ".jpg";
}

bool IsPhotoFile(const std::filesystem::path& path) {
  static const char* const kPhotoExtensions[] = {".jpg", ".jpeg", ".jpe", ".png", ".bmp", ".gif", ".tif",
                                                 ".tiff", ".webp", ".pgm", ".ppm", ".pnm"};
  const std::string ext = LowerExtension(path);
  return std::any_of(std::begin(kPhotoExtensions), std::end(kPhotoExtensions),
                     [&](const char* known) { return ext == known; });
}

void WriteImage(const std::filesystem::path& path, const cv::Mat& picture, const PictureWriteOptions& options,
                bool overwrite, std::optional<PictureFormat> format) {
  const bool toPipe = path == kPipePath;
  if (!format) format = PictureFormatOf(path.extension().string());
  if (!format)
    throw CliError(kExitUsage, "cannot write '" + path.string() + "': unknown picture format",
                   std::string("use one of the extensions ") + kWritableExtensions);
  std::error_code ignored;
  if (!toPipe && !overwrite && std::filesystem::exists(path, ignored))
    throw CliError(kExitOutput, "'" + path.string() + "' already exists", "add --force to replace it");
  std::string bytes;
  std::vector<std::string> warnings;
  if (!EncodePicture(picture, *format, options, bytes, &warnings))
    throw CliError(kExitOutput, "could not encode the picture for '" + path.string() + "'");
  for (const std::string& warning : warnings) WarnOnce("'" + path.string() + "': " + warning);
  if (toPipe) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0)
      throw CliError(kExitOutput, "could not write the picture to standard output");
    return;
  }
  std::string error;
  if (!WriteFileAtomically(path, bytes, &error))
    throw CliError(kExitOutput, "could not write '" + path.string() + "': " + error,
                   "check that the folder exists and is writable");
}

std::shared_ptr<const PhotoMetadata> PhotoMetadataFor(const std::filesystem::path& photo, bool strip) {
  if (strip) return nullptr;
  PhotoMetadataRead read = ReadPhotoMetadata(photo);
  if (!read.problem.empty())
    WarnOnce("photo '" + photo.string() + "': its metadata cannot be read (" + read.problem +
             "); its pictures go without it");
  return std::move(read.metadata);
}

void WarnOnce(const std::string& text) {
  static std::mutex mutex;
  static std::set<std::string> said;
  std::lock_guard lock(mutex);
  if (said.insert(text).second) std::fprintf(stderr, "grinsnap-cli: warning: %s\n", text.c_str());
}

void NoteUnsavedUserData(const std::filesystem::path&, const std::string& reason) {
  static std::atomic<bool> said{false};
  if (said.exchange(true)) return;
  // The reasons name the file already; the folder is what the user can fix.
  std::fprintf(stderr,
               "grinsnap-cli: note: user data cannot be saved (%s); going on without it\n"
               "  the user data folder is '%s' ($XDG_DATA_HOME, else $HOME/.local/share)\n",
               reason.c_str(), AppDataFolder().string().c_str());
}

Progress::Progress(int total, bool terminal) : total_(total), terminal_(terminal) {}

void Progress::Step(const std::string& label, bool failed) {
  ++done_;
  if (!terminal_) {
    std::fprintf(stderr, "[%d/%d] %s%s\n", done_, total_, failed ? "FAILED " : "", label.c_str());
    return;
  }
  constexpr int kWidth = 30;
  const int filled = total_ > 0 ? done_ * kWidth / total_ : kWidth;
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.resize(kWidth, '.');
  std::string shown = label.size() > 40 ? "..." + label.substr(label.size() - 37) : label;
  std::fprintf(stderr, "\r\033[K[%s] %d/%d %s", bar.c_str(), done_, total_, shown.c_str());
  std::fflush(stderr);
}

void Progress::Finish() {
  if (terminal_) std::fprintf(stderr, "\n");
}

}  // namespace grinsnap::cli
