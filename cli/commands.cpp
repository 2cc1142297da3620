#include "cli/commands.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>

#include <opencv2/imgproc.hpp>

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
    "  --quality Q     JPEG quality, 1 to 100 (default 95)\n"
    "  --force         replace existing output files\n";

const std::set<std::string> kEffectValueOptions = {"--size", "--seed", "--var1", "--var2", "--var3",
                                                   "--roi",  "--pick", "--quality", "--output"};
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

int Quality(const Arguments& args) {
  auto quality = args.Value("--quality");
  return quality ? static_cast<int>(ParseInteger("--quality", *quality, 1, 100)) : 95;
}

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
  const Arguments args(words, {}, {"--all"}, kAliases);
  if (!args.Positional().empty()) throw CliError(kExitUsage, "list takes no arguments", "see 'grinsnap-cli list --help'");
  auto loaded = ReadLibrary();
  if (!loaded->found) throw CliError(kExitTemplate, "cannot list templates", NoLibraryHint(*loaded));

  const bool all = args.Has("--all");
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
  const Arguments args(words, kEffectValueOptions, {"--force", "--gif"}, kAliases);
  const auto& positional = args.Positional();
  if (positional.size() < 2)
    throw CliError(kExitUsage, "apply needs a template and at least one photo", "see 'grinsnap-cli apply --help'");
  const auto out = args.Value("--output");
  if (!out) throw CliError(kExitUsage, "apply needs -o OUT, the file to write");
  const fs::path outPath(*out);
  const bool gif = args.Has("--gif");
  if (gif && outPath.extension() != ".gif") throw CliError(kExitUsage, "--gif writes a .gif file; name OUT accordingly");
  if (!gif && !IsWritableImageExtension(outPath))
    throw CliError(kExitUsage, "cannot tell the picture format of '" + *out + "'",
                   std::string("end OUT with one of ") + kWritableExtensions + ", or use --gif");
  EffectSettings settings = ReadEffectSettings(args);
  const int quality = Quality(args);
  ApplySeed(args);

  auto loaded = ReadLibrary();
  const EffectSource source = FindEffectOrExplain(positional[0], *loaded);
  EffectRunner runner(source, settings);
  const std::vector<fs::path> photos(positional.begin() + 1, positional.end());
  if (gif) {
    if (!runner.Template().CanExportAnimation())
      throw CliError(kExitNoResult, "template '" + source.name + "' has no animation to export",
                     "leave out --gif to save a still picture");
    runner.Render(photos);
    runner.SaveAnimation(outPath, settings.size.value_or(cv::Size(400, 400)), args.Has("--force"));
    std::printf("saved %s\n", outPath.string().c_str());
    return kExitOk;
  }
  const cv::Mat result = runner.Render(photos);
  WriteImage(outPath, result, quality, args.Has("--force"));
  std::printf("saved %s (%dx%d)\n", outPath.string().c_str(), result.cols, result.rows);
  return kExitOk;
}

// ---- batch ----

namespace {

std::vector<fs::path> CollectPhotos(const std::vector<std::string>& inputs) {
  std::vector<fs::path> photos;
  for (const std::string& input : inputs) {
    std::error_code error;
    if (fs::is_directory(input, error)) {
      std::vector<fs::path> found;
      for (const auto& item : fs::directory_iterator(input, error))
        if (item.is_regular_file(error) && IsPhotoFile(item.path())) found.push_back(item.path());
      std::sort(found.begin(), found.end());
      if (found.empty()) std::fprintf(stderr, "warning: no photos in folder '%s'\n", input.c_str());
      photos.insert(photos.end(), found.begin(), found.end());
    } else {
      // Files are taken as given; one that does not load fails on its own.
      photos.emplace_back(input);
    }
  }
  return photos;
}

// Output names: the photo's stem with the chosen extension, made unique.
std::vector<fs::path> OutputNames(const std::vector<fs::path>& photos, const fs::path& folder,
                                  const std::string& extension) {
  std::vector<fs::path> names;
  std::set<std::string> used;
  for (const fs::path& photo : photos) {
    std::string stem = photo.stem().string();
    std::string candidate = stem;
    for (int n = 2; used.count(candidate); ++n) candidate = stem + "-" + std::to_string(n);
    used.insert(candidate);
    names.push_back(folder / (candidate + extension));
  }
  return names;
}

}  // namespace

int RunBatch(const std::vector<std::string>& words) {
  const Arguments args(words, With(kEffectValueOptions, {"--format", "--jobs"}), {"--force"}, kAliases);
  const auto& positional = args.Positional();
  if (positional.size() < 2)
    throw CliError(kExitUsage, "batch needs a template and at least one photo or folder",
                   "see 'grinsnap-cli batch --help'");
  const auto out = args.Value("--output");
  if (!out) throw CliError(kExitUsage, "batch needs -o OUTDIR, the folder to write into");
  std::string format = args.Value("--format").value_or("jpg");
  if (format != "jpg" && format != "png" && format != "bmp")
    throw CliError(kExitUsage, "--format must be jpg, png or bmp, not '" + format + "'");
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const int jobs = args.Value("--jobs") ? static_cast<int>(ParseInteger("--jobs", *args.Value("--jobs"), 1, 64))
                                        : static_cast<int>(cores);
  const EffectSettings settings = ReadEffectSettings(args);
  const int quality = Quality(args);
  const bool force = args.Has("--force");
  ApplySeed(args);

  auto loaded = ReadLibrary();
  const EffectSource source = FindEffectOrExplain(positional[0], *loaded);
  { EffectRunner check(source, settings); }  // settings errors show before any work

  const std::vector<fs::path> photos = CollectPhotos({positional.begin() + 1, positional.end()});
  if (photos.empty()) throw CliError(kExitUsage, "no photos to process");
  std::error_code error;
  fs::create_directories(*out, error);
  if (!fs::is_directory(*out, error)) throw CliError(kExitOutput, "cannot create the folder '" + *out + "'");
  const std::vector<fs::path> targets = OutputNames(photos, *out, "." + format);

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
        WriteImage(targets[i], runner.Render({photos[i]}), quality, force);
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
  work();
  for (std::thread& worker : workers) worker.join();
  progress.Finish();

  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const std::size_t done = photos.size() - failures.size();
  for (const std::string& failure : failures) std::fprintf(stderr, "failed: %s\n", failure.c_str());
  std::printf("%zu photo%s: %zu written to %s, %zu failed (%.1f s, %.2f photos/s)\n", photos.size(),
              photos.size() == 1 ? "" : "s", done, out->c_str(), failures.size(), seconds,
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
      WriteImage(folder / (slug + ".jpg"), runner.Render({photo}), 92, force);
      const cv::Mat thumb = runner.Thumbnail();
      if (!thumb.empty()) WriteImage(folder / "thumbs" / (slug + ".png"), thumb, 0, force);
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
  WriteImage(folder / "contact_sheet.png", ContactSheet(tiles), 0, force);
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
    return "Usage: grinsnap-cli list [--all]\n\n"
           "Shows the template gallery as a tree of tabs, groups and templates.\n\n"
           "  --all   also show hidden templates, marked (hidden)\n"
           "Online templates are marked (online).\n\n" +
           std::string(kExitCodesHelp);
  if (command == "apply")
    return "Usage: grinsnap-cli apply TEMPLATE PHOTO... -o OUT [OPTIONS]\n\n"
           "Runs TEMPLATE on the photos (they become its inputs, in order) and writes OUT.\n"
           "TEMPLATE is a template name from 'grinsnap-cli list' or the path of a template\n"
           "document (.xml, .tmpl). The format of OUT follows its extension: .jpg, .png, .bmp.\n\n"
           "  -o, --output OUT  the file to write\n"
           "  --gif           write the template's animation as a GIF (OUT ends in .gif);\n"
           "                  --size then bounds its frames (default 400x400)\n" +
           std::string(kEffectOptionsHelp) + "\n" + kExitCodesHelp;
  if (command == "batch")
    return "Usage: grinsnap-cli batch TEMPLATE INPUT... -o OUTDIR [OPTIONS]\n\n"
           "Runs TEMPLATE on every photo given, or found in the folders given, and writes\n"
           "one picture per photo into OUTDIR, named after the photo. A photo that fails is\n"
           "reported and skipped.\n\n"
           "  -o, --output OUTDIR  the folder to write into (created when missing)\n"
           "  --format F      jpg, png or bmp (default jpg)\n"
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
