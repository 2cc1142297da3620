#include "cli/commands.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>

#include <opencv2/imgproc.hpp>

#include "app/atomic_file.h"
#include "app/picture_file.h"
#include "app/template_library.h"
#include "cli/arguments.h"
#include "cli/cli_support.h"
#include "cli/effect_runner.h"
#include "core/registry.h"
#include "core/template_document.h"
#include "filters/image_filter.h"
#include "platform/folders.h"

namespace grinsnap::cli {

namespace fs = std::filesystem;

namespace {

// The box the frames of --gif fit into without --size.
const cv::Size kDefaultGifBox(400, 400);

const char kExitCodesHelp[] =
    "Exit codes:\n"
    "  0  success\n"
    "  1  batch or gallery: some photos or templates failed (the rest were written)\n"
    "  2  bad command line\n"
    "  3  template not found or not loadable\n"
    "  4  a photo could not be read\n"
    "  5  the result could not be written\n"
    "  6  the effect gave no picture, or has no animation for --gif\n"
    "  7  faces: the face cascade could not be loaded\n";

const char kEffectOptionsHelp[] =
    "  --size WxH      fit the result into WxH, keeping its aspect ratio; a smaller\n"
    "                  result is not enlarged (default: the first photo's own size)\n"
    "  --seed N        seed of the random effects; the same N gives the same picture\n"
    "                  (default: a fresh seed each run)\n"
    "  --var1 V, --var2 V, --var3 V\n"
    "                  set a template variable, in its own units, within its range\n"
    "  --roi X,Y,W,H   region of interest as fractions of the picture\n"
    "  --pick X,Y      pick point as fractions of the picture\n"
    "  --quality Q     JPEG and WebP quality, 1 to 100 (default 95)\n"
    "  --strip         leave out the photo's metadata (EXIF, IPTC, XMP), which the\n"
    "                  pictures otherwise keep, upright and with their own size\n"
    "  --force         replace existing output files\n";

const std::set<std::string> kEffectValueOptions = {"--size", "--seed", "--var1", "--var2", "--var3",
                                                   "--roi",  "--pick", "--quality", "--output"};
// Words of apply and batch besides the effect's.
const std::set<std::string> kOutputSwitches = {"--force", "--strip"};
const std::map<std::string, std::string> kAliases = {{"-o", "--output"}, {"-h", "--help"}, {"-f", "--force"}};

std::set<std::string> With(std::set<std::string> base, std::initializer_list<const char*> more) {
  for (const char* name : more) base.insert(name);
  return base;
}

// The library as the studio reads it; an empty library when the program's
// data folder has no config.cfg.
struct LoadedLibrary {
  TemplateLibrary library;
  bool found = false;
  fs::path folder;
};

std::unique_ptr<LoadedLibrary> ReadLibrary() {
  auto loaded = std::make_unique<LoadedLibrary>();
  const LibraryEnvironment environment = LibraryEnvironment::Current();
  loaded->folder = environment.programFolder;
  loaded->found = loaded->library.Read(environment);
  return loaded;
}

std::string NoLibraryHint(const LoadedLibrary& loaded) {
  return "no template library in '" + loaded.folder.string() +
         "' (config.cfg is missing); set GRINSNAP_DATA_DIR to the program's data folder";
}

EffectSettings ReadEffectSettings(const Arguments& args) {
  EffectSettings settings;
  if (auto size = args.Value("--size")) settings.size = ParseSize("--size", *size);
  for (int i = 0; i < 3; ++i) {
    const std::string option = "--var" + std::to_string(i + 1);
    if (auto value = args.Value(option)) settings.variables[static_cast<std::size_t>(i)] = ParseNumber(option, *value);
  }
  if (auto roi = args.Value("--roi")) {
    const auto v = ParseFractions("--roi", *roi, 4);
    if (v[2] <= 0 || v[3] <= 0 || v[0] + v[2] > 1 || v[1] + v[3] > 1)
      throw CliError(kExitUsage, "--roi must lie inside the picture and have a width and height");
    settings.roi = std::array<double, 4>{v[0], v[1], v[2], v[3]};
  }
  if (auto pick = args.Value("--pick")) {
    const auto v = ParseFractions("--pick", *pick, 2);
    settings.pick = std::array<double, 2>{v[0], v[1]};
  }
  return settings;
}

void ApplySeed(const Arguments& args) {
  if (auto seed = args.Value("--seed"))
    SetFixedSeed(static_cast<std::uint32_t>(ParseInteger("--seed", *seed, 0, 4294967295LL)));
  else
    SetFixedSeed(std::nullopt);
}

// --gif-delay: the smaller GIF, frames shown this many hundredths of a second.
std::optional<int> GifDelay(const Arguments& args) {
  auto delay = args.Value("--gif-delay");
  if (!delay) return std::nullopt;
  if (!args.Has("--gif")) throw CliError(kExitUsage, "--gif-delay goes with --gif");
  return static_cast<int>(ParseInteger("--gif-delay", *delay, 1, 65535));
}

// How the pictures are written: quality, and the photo's metadata unless --strip.
PictureWriteOptions WriteOptions(const Arguments& args) {
  PictureWriteOptions options;
  auto quality = args.Value("--quality");
  options.quality = quality ? static_cast<int>(ParseInteger("--quality", *quality, 1, 100)) : 95;
  options.strip = args.Has("--strip");
  return options;
}

// A photo handed on standard input ("-") is kept in a private temporary
// file for as long as the command runs: the engine reads photos by path.
class PipedPhoto {
public:
  PipedPhoto() {
    std::string folder = (fs::temp_directory_path() / "grinsnap-XXXXXX").string();
    if (!::mkdtemp(folder.data())) throw CliError(kExitPhoto, "cannot make a temporary folder for the photo on standard input");
    folder_ = folder;
    path_ = folder_ / "stdin";
    std::string bytes;
    char buffer[65536];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, stdin)) > 0;) bytes.append(buffer, got);
    if (std::ferror(stdin) || bytes.empty()) throw CliError(kExitPhoto, "no photo on standard input");
    std::string error;
    if (!WriteFileAtomically(path_, bytes, &error)) throw CliError(kExitPhoto, "cannot keep the photo on standard input: " + error);
  }
  ~PipedPhoto() {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
  PipedPhoto(const PipedPhoto&) = delete;
  PipedPhoto& operator=(const PipedPhoto&) = delete;
  const fs::path& Path() const { return path_; }

private:
  fs::path folder_;
  fs::path path_;
};

EffectSource FindEffectOrExplain(const std::string& nameOrPath, LoadedLibrary& loaded) {
  try {
    return FindEffect(nameOrPath, loaded.library);
  } catch (CliError& error) {
    // Without a library, suggestions are empty: say where the library was looked for.
    const bool nameNotFound = std::string(error.what()).rfind("no template named", 0) == 0;
    if (!loaded.found && nameNotFound && error.hint.rfind("no such file", 0) != 0) error.hint = NoLibraryHint(loaded);
    throw;
  }
}

std::string Slug(const std::string& name) {
  std::string slug;
  for (unsigned char c : name) {
    if (std::isalnum(c))
      slug += static_cast<char>(std::tolower(c));
    else if (!slug.empty() && slug.back() != '_')
      slug += '_';
  }
  while (!slug.empty() && slug.back() == '_') slug.pop_back();
  return slug.empty() ? "template" : slug;
}

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) != 0; }

// Path segments of a column path ("2D Templates\Color" → two segments).
std::vector<std::string> PathSegments(const std::string& path) {
  std::vector<std::string> segments;
  std::string current;
  for (char c : path) {
    if (c == '\\' || c == '/') {
      if (!current.empty()) segments.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) segments.push_back(current);
  return segments;
}

}  // namespace

// ---- list ----

int RunList(const std::vector<std::string>& words) {
  const Arguments args(words, {}, {"--all", "--names"}, kAliases);
  if (!args.Positional().empty()) throw CliError(kExitUsage, "list takes no arguments", "see 'grinsnap-cli list --help'");
  auto loaded = ReadLibrary();
  if (!loaded->found) throw CliError(kExitTemplate, "cannot list templates", NoLibraryHint(*loaded));

  const bool all = args.Has("--all");
  // One name a line, for scripts and shell completion.
  const bool namesOnly = args.Has("--names");
  std::vector<std::string> printed;  // the group path printed last, segment by segment
  int shown = 0, hidden = 0;
  for (const auto& column : loaded->library.Columns()) {
    const std::vector<std::string> segments = PathSegments(column->path);
    std::vector<const TemplateEntry*> entries;
    for (const auto& entry : column->entries) {
      if (entry->hide && !all) {
        ++hidden;
        continue;
      }
      entries.push_back(entry.get());
    }
    if (entries.empty()) continue;
    if (namesOnly) {
      for (const TemplateEntry* entry : entries) std::printf("%s\n", entry->name.c_str());
      shown += static_cast<int>(entries.size());
      continue;
    }
    // Print only the group headings that differ from the previous column's.
    std::size_t common = 0;
    while (common < segments.size() && common < printed.size() && segments[common] == printed[common]) ++common;
    for (std::size_t depth = common; depth < segments.size(); ++depth)
      std::printf("%*s%s\n", static_cast<int>(depth * 2), "", segments[depth].c_str());
    printed = segments;
    for (const TemplateEntry* entry : entries) {
      std::string marks;
      if (entry->hide) marks += " (hidden)";
      if (entry->online) marks += entry->downloaded ? " (online, downloaded)" : " (online)";
      std::printf("%*s%s%s\n", static_cast<int>(segments.size() * 2), "", entry->name.c_str(), marks.c_str());
      ++shown;
    }
  }
  if (hidden > 0) std::fprintf(stderr, "%d hidden template%s not shown; add --all to see them\n", hidden, hidden == 1 ? "" : "s");
  if (shown == 0 && hidden == 0) std::fprintf(stderr, "the template library is empty\n");
  return kExitOk;
}

// ---- apply ----

int RunApply(const std::vector<std::string>& words) {
  const Arguments args(words, With(kEffectValueOptions, {"--format", "--gif-delay"}), With(kOutputSwitches, {"--gif"}),
                       kAliases);
  const auto& positional = args.Positional();
  if (positional.size() < 2)
    throw CliError(kExitUsage, "apply needs a template and at least one photo", "see 'grinsnap-cli apply --help'");
  const auto out = args.Value("--output");
  if (!out) throw CliError(kExitUsage, "apply needs -o OUT, the file to write");
  const fs::path outPath(*out);
  const bool toPipe = *out == kPipePath;
  const bool gif = args.Has("--gif");
  const std::optional<int> delay = GifDelay(args);
  if (gif && outPath.extension() != ".gif") throw CliError(kExitUsage, "--gif writes a .gif file; name OUT accordingly");
  std::optional<PictureFormat> format;
  if (auto named = args.Value("--format")) format = ParseFormat(*named);
  else if (toPipe) format = PictureFormat::kJpeg;
  if (!gif && !format && !IsWritableImageExtension(outPath))
    throw CliError(kExitUsage, "cannot tell the picture format of '" + *out + "'",
                   std::string("end OUT with one of ") + kWritableExtensions + ", or use --format or --gif");
  EffectSettings settings = ReadEffectSettings(args);
  PictureWriteOptions options = WriteOptions(args);
  ApplySeed(args);

  auto loaded = ReadLibrary();
  const EffectSource source = FindEffectOrExplain(positional[0], *loaded);
  EffectRunner runner(source, settings);
  std::vector<fs::path> photos(positional.begin() + 1, positional.end());
  std::optional<PipedPhoto> piped;
  for (fs::path& photo : photos) {
    if (photo != kPipePath) continue;
    if (piped) throw CliError(kExitUsage, "only one photo can come from standard input ('-')");
    photo = piped.emplace().Path();
  }
  if (gif) {
    if (!runner.Template().CanExportAnimation())
      throw CliError(kExitNoResult, "template '" + source.name + "' has no animation to export",
                     "leave out --gif to save a still picture");
    runner.Render(photos);
    runner.SaveAnimation(outPath, settings.size.value_or(kDefaultGifBox), args.Has("--force"), StderrIsTerminal(),
                         delay);
    std::printf("saved %s\n", outPath.string().c_str());
    return kExitOk;
  }
  const cv::Mat result = runner.Render(photos);
  // The picture is the first photo's: it keeps that photo's metadata.
  const auto metadata = PhotoMetadataFor(photos.front(), options.strip);
  options.source = metadata.get();
  WriteImage(outPath, result, options, args.Has("--force"), format);
  // Standard output carries the picture; the note goes to standard error.
  std::fprintf(toPipe ? stderr : stdout, "saved %s (%dx%d)\n", toPipe ? "to standard output" : outPath.string().c_str(),
               result.cols, result.rows);
  return kExitOk;
}

// ---- batch ----

namespace {

// A photo of a batch and the folder under the output folder its picture
// goes into ("" for the output folder itself).
struct BatchPhoto {
  fs::path path;
  fs::path subfolder;
};

// Why a file met on the way is not processed; reported one line each.
struct Skipped {
  fs::path path;
  std::string reason;
};

bool IsHidden(const fs::path& path) {
  const std::string name = path.filename().string();
  return name.size() > 1 && name[0] == '.';
}

bool SameFolder(const fs::path& a, const fs::path& b) {
  std::error_code error;
  return fs::equivalent(a, b, error);
}

// The photos of one folder, sorted, and with recursive those of its
// sub-folders, which keep their place below the output folder. Hidden files
// and folders, and the output folder when it lies inside, are passed over.
void CollectFolder(const fs::path& root, bool recursive, const fs::path& outFolder, std::vector<BatchPhoto>& photos,
                   std::vector<Skipped>& skipped) {
  std::vector<BatchPhoto> found;
  std::error_code error;
  auto options = fs::directory_options::skip_permission_denied;
  const auto consider = [&](const fs::directory_entry& item, const fs::path& relativeFolder) {
    std::error_code ignored;
    if (!item.is_regular_file(ignored)) return;
    if (IsHidden(item.path())) skipped.push_back({item.path(), "hidden file"});
    else if (IsPhotoFile(item.path())) found.push_back({item.path(), relativeFolder});
    else skipped.push_back({item.path(), "not a photo file"});
  };
  if (!recursive) {
    for (const auto& item : fs::directory_iterator(root, options, error)) {
      std::error_code ignored;
      if (item.is_directory(ignored) && !SameFolder(item.path(), outFolder))
        skipped.push_back({item.path(), "a folder; --recursive takes its photos too"});
      consider(item, {});
    }
  } else {
    fs::recursive_directory_iterator it(root, options, error), end;
    for (; !error && it != end; it.increment(error)) {
      std::error_code ignored;
      if (it->is_directory(ignored)) {
        if (IsHidden(it->path())) {
          skipped.push_back({it->path(), "hidden folder"});
          it.disable_recursion_pending();
        } else if (SameFolder(it->path(), outFolder)) {
          skipped.push_back({it->path(), "the output folder"});
          it.disable_recursion_pending();
        }
        continue;
      }
      fs::path relative = it->path().parent_path().lexically_relative(root);
      if (relative == ".") relative.clear();
      consider(*it, relative);
    }
  }
  if (error) skipped.push_back({root, "cannot read the whole folder: " + error.message()});
  std::sort(found.begin(), found.end(), [](const BatchPhoto& a, const BatchPhoto& b) { return a.path < b.path; });
  if (found.empty()) std::fprintf(stderr, "warning: no photos in folder '%s'\n", root.string().c_str());
  photos.insert(photos.end(), found.begin(), found.end());
}

// Photos named by the inputs: files as given, folders by their contents,
// "-" one path a line from standard input.
std::vector<BatchPhoto> CollectPhotos(const std::vector<std::string>& inputs, bool recursive, const fs::path& outFolder,
                                      std::vector<Skipped>& skipped) {
  std::vector<BatchPhoto> photos;
  std::vector<std::string> expanded;
  for (const std::string& input : inputs) {
    if (input != kPipePath) {
      expanded.push_back(input);
      continue;
    }
    char line[8192];
    while (std::fgets(line, sizeof line, stdin)) {
      std::string path(line);
      while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
      if (!path.empty()) expanded.push_back(path);
    }
  }
  for (const std::string& input : expanded) {
    std::error_code error;
    if (fs::is_directory(input, error))
      CollectFolder(input, recursive, outFolder, photos, skipped);
    else
      photos.push_back({input, {}});  // taken as given; one that does not load fails on its own
  }
  return photos;
}

// Output names: the photo's stem with the chosen extension in its folder
// below the output folder, made unique within that folder.
std::vector<fs::path> OutputNames(const std::vector<BatchPhoto>& photos, const fs::path& folder,
                                  const std::string& extension) {
  std::vector<fs::path> names;
  std::set<fs::path> used;
  for (const BatchPhoto& photo : photos) {
    const std::string stem = photo.path.stem().string();
    const fs::path place = folder / photo.subfolder;
    fs::path candidate = place / (stem + extension);
    for (int n = 2; used.count(candidate); ++n) candidate = place / (stem + "-" + std::to_string(n) + extension);
    used.insert(candidate);
    names.push_back(candidate);
  }
  return names;
}

}  // namespace

int RunBatch(const std::vector<std::string>& words) {
  const Arguments args(words, With(kEffectValueOptions, {"--format", "--jobs", "--gif-delay"}),
                       With(kOutputSwitches, {"--recursive", "--skip-existing", "--gif"}),
                       {{"-o", "--output"}, {"-h", "--help"}, {"-f", "--force"}, {"-r", "--recursive"}});
  const auto& positional = args.Positional();
  if (positional.size() < 2)
    throw CliError(kExitUsage, "batch needs a template and at least one photo or folder",
                   "see 'grinsnap-cli batch --help'");
  const auto out = args.Value("--output");
  if (!out) throw CliError(kExitUsage, "batch needs -o OUTDIR, the folder to write into");
  if (*out == kPipePath)
    throw CliError(kExitUsage, "batch writes one picture per photo into a folder, not to standard output",
                   "use 'grinsnap-cli apply TEMPLATE - -o -' to run a photo through a pipe");
  const bool gif = args.Has("--gif");
  const std::optional<int> delay = GifDelay(args);
  if (gif && args.Value("--format")) throw CliError(kExitUsage, "--gif writes .gif files; leave out --format");
  const PictureFormat format = ParseFormat(args.Value("--format").value_or("jpg"));
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const int jobs = args.Value("--jobs") ? static_cast<int>(ParseInteger("--jobs", *args.Value("--jobs"), 1, 64))
                                        : static_cast<int>(cores);
  const EffectSettings settings = ReadEffectSettings(args);
  const PictureWriteOptions options = WriteOptions(args);
  const bool force = args.Has("--force");
  const bool skipExisting = args.Has("--skip-existing");
  if (force && skipExisting) throw CliError(kExitUsage, "--force and --skip-existing contradict each other");
  ApplySeed(args);

  auto loaded = ReadLibrary();
  const EffectSource source = FindEffectOrExplain(positional[0], *loaded);
  {
    // Settings errors, and a template without an animation, show before any work.
    EffectRunner check(source, settings);
    if (gif && !check.Template().CanExportAnimation())
      throw CliError(kExitNoResult, "template '" + source.name + "' has no animation to export",
                     "leave out --gif to save still pictures");
  }

  std::vector<Skipped> skipped;
  std::vector<BatchPhoto> found = CollectPhotos({positional.begin() + 1, positional.end()}, args.Has("--recursive"),
                                                fs::path(*out), skipped);
  if (found.empty() && skipped.empty()) throw CliError(kExitUsage, "no photos to process");
  std::error_code error;
  fs::create_directories(*out, error);
  if (!fs::is_directory(*out, error)) throw CliError(kExitOutput, "cannot create the folder '" + *out + "'");
  const std::vector<fs::path> allTargets = OutputNames(found, *out, gif ? ".gif" : FormatExtension(format));
  // A resumed run leaves the pictures it wrote before.
  std::vector<fs::path> photos, targets;
  for (std::size_t i = 0; i < found.size(); ++i) {
    if (skipExisting && fs::exists(allTargets[i], error)) {
      skipped.push_back({found[i].path, "'" + allTargets[i].string() + "' exists"});
      continue;
    }
    photos.push_back(found[i].path);
    targets.push_back(allTargets[i]);
  }
  for (const Skipped& skip : skipped) std::fprintf(stderr, "skipped: %s (%s)\n", skip.path.string().c_str(), skip.reason.c_str());

  Progress progress(static_cast<int>(photos.size()), StderrIsTerminal());
  std::mutex reportMutex;
  std::vector<std::string> failures;
  std::atomic<std::size_t> next{0};
  const auto start = std::chrono::steady_clock::now();
  auto work = [&] {
    EffectRunner runner(source, settings);
    for (std::size_t i = next++; i < photos.size(); i = next++) {
      std::string failure;
      try {
        if (gif) {
          runner.Render({photos[i]});
          runner.SaveAnimation(targets[i], settings.size.value_or(kDefaultGifBox), force, false, delay);
        } else {
          const cv::Mat result = runner.Render({photos[i]});
          PictureWriteOptions own = options;
          const auto metadata = PhotoMetadataFor(photos[i], options.strip);
          own.source = metadata.get();
          std::error_code ignored;
          fs::create_directories(targets[i].parent_path(), ignored);
          WriteImage(targets[i], result, own, force, format);
        }
      } catch (const CliError& e) {
        failure = photos[i].string() + ": " + e.what() + (e.hint.empty() ? "" : " (" + e.hint + ")");
      } catch (const std::exception& e) {
        failure = photos[i].string() + ": " + e.what();
      }
      std::lock_guard lock(reportMutex);
      if (!failure.empty()) failures.push_back(failure);
      progress.Step(photos[i].filename().string(), !failure.empty());
    }
  };
  const int threads = std::min<int>(jobs, static_cast<int>(photos.size()));
  std::vector<std::thread> workers;
  for (int t = 1; t < threads; ++t) workers.emplace_back(work);
  if (!photos.empty()) work();
  for (std::thread& worker : workers) worker.join();
  progress.Finish();

  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const std::size_t done = photos.size() - failures.size();
  for (const std::string& failure : failures) std::fprintf(stderr, "failed: %s\n", failure.c_str());
  std::printf("%zu photo%s: %zu written to %s, %zu skipped, %zu failed (%.1f s, %.2f photos/s)\n", photos.size(),
              photos.size() == 1 ? "" : "s", done, out->c_str(), skipped.size(), failures.size(), seconds,
              seconds > 0 ? static_cast<double>(photos.size()) / seconds : 0.0);
  return failures.empty() ? kExitOk : kExitSomeFailed;
}

// ---- gallery ----

namespace {

cv::Mat ContactSheet(const std::vector<std::pair<std::string, cv::Mat>>& tiles) {
  constexpr int kColumns = 6, kCellWidth = 149, kCellHeight = 122, kMargin = 10;
  const int rows = std::max(1, static_cast<int>((tiles.size() + kColumns - 1) / kColumns));
  cv::Mat sheet(rows * kCellHeight + 2 * kMargin, kColumns * kCellWidth + 2 * kMargin, CV_8UC3,
                cv::Scalar(245, 245, 245));
  for (std::size_t i = 0; i < tiles.size(); ++i) {
    const int x = kMargin + static_cast<int>(i % kColumns) * kCellWidth;
    const int y = kMargin + static_cast<int>(i / kColumns) * kCellHeight;
    const cv::Mat& thumb = tiles[i].second;
    if (!thumb.empty()) {
      const cv::Rect place(x + (kCellWidth - thumb.cols) / 2, y + (kThumbnailHeight - thumb.rows) / 2, thumb.cols,
                           thumb.rows);
      thumb.copyTo(sheet(place));
    }
    std::string caption = tiles[i].first;
    const double scale = 0.38;
    int baseline = 0;
    while (caption.size() > 3 && cv::getTextSize(caption, cv::FONT_HERSHEY_SIMPLEX, scale, 1, &baseline).width >
                                     kCellWidth - 6)
      caption = caption.substr(0, caption.size() - 4) + "...";
    const int width = cv::getTextSize(caption, cv::FONT_HERSHEY_SIMPLEX, scale, 1, &baseline).width;
    cv::putText(sheet, caption, {x + (kCellWidth - width) / 2, y + kThumbnailHeight + 18}, cv::FONT_HERSHEY_SIMPLEX,
                scale, cv::Scalar(40, 40, 40), 1, cv::LINE_AA);
  }
  return sheet;
}

}  // namespace

int RunGallery(const std::vector<std::string>& words) {
  const Arguments args(words, {"--output", "--seed"}, {"--all", "--force"}, kAliases);
  const auto& positional = args.Positional();
  if (positional.size() != 1) throw CliError(kExitUsage, "gallery needs exactly one photo", "see 'grinsnap-cli gallery --help'");
  const auto out = args.Value("--output");
  if (!out) throw CliError(kExitUsage, "gallery needs -o DIR, the folder to write into");
  const bool force = args.Has("--force");
  ApplySeed(args);

  auto loaded = ReadLibrary();
  if (!loaded->found) throw CliError(kExitTemplate, "cannot render the gallery", NoLibraryHint(*loaded));
  const std::vector<EffectSource> effects = LibraryEffects(loaded->library, args.Has("--all"));
  if (effects.empty()) throw CliError(kExitTemplate, "the template library has no templates to render");

  const fs::path folder(*out);
  std::error_code error;
  fs::create_directories(folder / "thumbs", error);
  if (!fs::is_directory(folder / "thumbs", error)) throw CliError(kExitOutput, "cannot create the folder '" + *out + "'");

  const fs::path photo(positional[0]);
  // The renders are pictures of the photo and keep its metadata; the
  // thumbnails and the sheet are the gallery's own.
  const auto metadata = PhotoMetadataFor(photo, false);
  PictureWriteOptions renderOptions;
  renderOptions.quality = 92;
  renderOptions.source = metadata.get();
  const PictureWriteOptions sheetOptions;
  EffectSettings settings;
  settings.size = cv::Size(800, 600);
  Progress progress(static_cast<int>(effects.size()), StderrIsTerminal());
  std::vector<std::pair<std::string, cv::Mat>> tiles;
  std::vector<std::string> failures;
  std::set<std::string> usedSlugs;
  for (const EffectSource& effect : effects) {
    std::string slug = Slug(effect.name);
    for (int n = 2; usedSlugs.count(slug); ++n) slug = Slug(effect.name) + "_" + std::to_string(n);
    usedSlugs.insert(slug);
    std::string failure;
    try {
      EffectRunner runner(effect, settings);
      WriteImage(folder / (slug + ".jpg"), runner.Render({photo}), renderOptions, force);
      const cv::Mat thumb = runner.Thumbnail();
      if (!thumb.empty()) WriteImage(folder / "thumbs" / (slug + ".png"), thumb, sheetOptions, force);
      tiles.emplace_back(effect.name, thumb);
    } catch (const CliError& e) {
      // A photo that does not load fails every template alike: stop at once.
      if (e.exitCode == kExitPhoto) {
        progress.Finish();
        throw;
      }
      failure = effect.name + ": " + e.what() + (e.hint.empty() ? "" : " (" + e.hint + ")");
    } catch (const std::exception& other) {
      failure = effect.name + ": " + other.what();
    }
    if (!failure.empty()) failures.push_back(failure);
    progress.Step(effect.name, !failure.empty());
  }
  progress.Finish();
  // The sheet is an output like the others: an existing one stays unless --force.
  WriteImage(folder / "contact_sheet.png", ContactSheet(tiles), sheetOptions, force);
  for (const std::string& failure : failures) std::fprintf(stderr, "failed: %s\n", failure.c_str());
  std::printf("%zu templates rendered into %s (contact sheet: %s), %zu failed\n", tiles.size(), out->c_str(),
              (folder / "contact_sheet.png").string().c_str(), failures.size());
  return failures.empty() ? kExitOk : kExitSomeFailed;
}

// ---- classes ----

int RunClasses(const std::vector<std::string>& words) {
  const Arguments args(words, {}, {}, kAliases);
  if (!args.Positional().empty()) throw CliError(kExitUsage, "classes takes no arguments");
  std::map<ObjectKind, std::vector<std::string>> byKind;
  for (const std::string& name : RegisteredClassNames()) {
    auto object = CreateDataObject(name.c_str());
    if (object) byKind[object->Kind()].push_back(name);
  }
  const std::pair<ObjectKind, const char*> sections[] = {
      {ObjectKind::Template, "Templates"}, {ObjectKind::Filter, "Filters"}, {ObjectKind::OptionPane, "Option panes"}};
  for (const auto& [kind, title] : sections) {
    std::printf("%s:\n", title);
    for (const std::string& name : byKind[kind]) std::printf("  %s\n", name.c_str());
    if (byKind[kind].empty()) std::printf("  (none)\n");
  }
  return kExitOk;
}

// ---- help ----

std::string MainHelp() {
  return std::string(
             "Usage: grinsnap-cli COMMAND [OPTIONS]\n"
             "\n"
             "Grinsnap's photo effects from the command line.\n"
             "\n"
             "Commands:\n"
             "  list      show the template gallery\n"
             "  apply     run one template on photos and save the result\n"
             "  batch     run one template on many photos\n"
             "  gallery   render every template on one photo, with a contact sheet\n"
             "  classes   show the registered template, filter and option-pane classes\n"
             "  faces     find the faces of a photo with their eyes and mouth\n"
             "  pack      make a template package from a template folder\n"
             "  install   install a template package into the library\n"
             "\n"
             "Run 'grinsnap-cli COMMAND --help' for the options of a command.\n"
             "  --help      show this help\n"
             "  --version   show the program version\n"
             "\n"
             "Environment: GRINSNAP_THREADS=N limits the threads one render uses\n"
             "(batch runs several renders at once: see its --jobs).\n"
             "\n") +
         kExitCodesHelp;
}

std::string CommandHelp(const std::string& command) {
  if (command == "pack")
    return "Usage: grinsnap-cli pack FOLDER -o PACKAGE [--force]\n\n"
           "Makes a template package (a zip archive) of FOLDER: its template document\n"
           "(one .tmpl, or one .xml in the folder itself, stored as .tmpl), its resources\n"
           "and its thumbnail, all under the folder's name.\n\n"
           "  -o, --output PACKAGE  the package to write\n"
           "  -f, --force           replace PACKAGE when it exists\n\n" +
           std::string(kExitCodesHelp);
  if (command == "install")
    return "Usage: grinsnap-cli install PACKAGE [--template NAME]\n\n"
           "Installs a template package into the library the way the gallery installs a\n"
           "download: into the online template's directory, through a staging folder,\n"
           "and marks the template downloaded.\n\n"
           "  --template NAME  the online template it belongs to (default: the one whose\n"
           "                   address ends in the package's file name, or whose name is\n"
           "                   the file name without its extension)\n\n" +
           std::string(kExitCodesHelp);
  if (command == "list")
    return "Usage: grinsnap-cli list [--all] [--names]\n\n"
           "Shows the template gallery as a tree of tabs, groups and templates.\n\n"
           "  --all     also show hidden templates, marked (hidden)\n"
           "  --names   only the template names, one a line, without headings or marks\n"
           "Online templates are marked (online).\n\n" +
           std::string(kExitCodesHelp);
  if (command == "apply")
    return "Usage: grinsnap-cli apply TEMPLATE PHOTO... -o OUT [OPTIONS]\n\n"
           "Runs TEMPLATE on the photos (they become its inputs, in order) and writes OUT.\n"
           "TEMPLATE is a template name from 'grinsnap-cli list' or the path of a template\n"
           "document (.xml, .tmpl). The format of OUT follows its extension: .jpg, .png,\n"
           ".bmp, .webp, .tif. A PHOTO of '-' is read from standard input, an OUT of '-'\n"
           "is written to standard output (as JPEG unless --format says otherwise).\n\n"
           "  -o, --output OUT  the file to write\n"
           "  --format F      jpg, png, bmp, webp or tif, whatever OUT's extension\n"
           "  --gif           write the template's animation as a GIF (OUT ends in .gif);\n"
           "                  --size then bounds its frames (default 400x400)\n"
           "  --gif-delay CS  with --gif: a smaller file that keeps only what changes from\n"
           "                  frame to frame, each frame shown CS hundredths of a second\n" +
           std::string(kEffectOptionsHelp) + "\n" + kExitCodesHelp;
  if (command == "batch")
    return "Usage: grinsnap-cli batch TEMPLATE INPUT... -o OUTDIR [OPTIONS]\n\n"
           "Runs TEMPLATE on every photo given, or found in the folders given, and writes\n"
           "one picture per photo into OUTDIR, named after the photo. An INPUT of '-' reads\n"
           "photo paths from standard input, one a line. A photo that fails is reported\n"
           "and the others go on; every file passed over gets a line saying why.\n\n"
           "  -o, --output OUTDIR  the folder to write into (created when missing)\n"
           "  --format F      jpg, png, bmp, webp or tif (default jpg)\n"
           "  -r, --recursive take the photos of sub-folders too, into the same\n"
           "                  sub-folders of OUTDIR\n"
           "  --skip-existing leave photos whose picture is already there (to resume)\n"
           "  --gif           write each photo's animation as OUTDIR/NAME.gif; --size then\n"
           "                  bounds the frames (default 400x400)\n"
           "  --gif-delay CS  with --gif: smaller files, each frame shown CS hundredths of\n"
           "                  a second\n"
           "  --jobs N        photos processed at once (default: the number of cores)\n" +
           std::string(kEffectOptionsHelp) + "\n" + kExitCodesHelp;
  if (command == "gallery")
    return "Usage: grinsnap-cli gallery PHOTO -o DIR [--all] [--seed N] [--force]\n\n"
           "Renders every template of the library on PHOTO: DIR/NAME.jpg fitted into\n"
           "800x600 (never enlarged), DIR/thumbs/NAME.png at gallery-thumbnail size, and\n"
           "DIR/contact_sheet.png with every thumbnail and its name.\n\n"
           "  -o, --output DIR  the folder to write into (created when missing)\n"
           "  --all           include hidden templates\n"
           "  --seed N        seed of the random effects\n"
           "  --force         replace existing pictures\n\n" +
           std::string(kExitCodesHelp);
  if (command == "faces") return FacesHelp() + "\n" + kExitCodesHelp;
  if (command == "classes")
    return "Usage: grinsnap-cli classes\n\n"
           "Shows the registered template, filter and option-pane class names, the names\n"
           "that template documents use.\n\n" +
           std::string(kExitCodesHelp);
  return {};
}

}  // namespace grinsnap::cli
