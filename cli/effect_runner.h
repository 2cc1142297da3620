#pragma once

#include <array>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "core/process_engine.h"

namespace grinsnap {
class TemplateDocument;
class TemplateLibrary;
}  // namespace grinsnap

namespace grinsnap::cli {

// A template to run: its document, the folder its resources resolve
// against, and the name to show.
struct EffectSource {
  std::shared_ptr<TemplateDocument> document;
  std::filesystem::path folder;
  std::string name;
};

// What the user set on the command line for the effect.
struct EffectSettings {
  std::optional<cv::Size> size;                  // preview box; none = full size
  std::array<std::optional<double>, 3> variables;  // var1..var3 in their own units
  std::optional<std::array<double, 4>> roi;      // left, top, width, height as fractions
  std::optional<std::array<double, 2>> pick;     // x, y as fractions
};

// Every template the library lists that has a document, in library order.
std::vector<EffectSource> LibraryEffects(TemplateLibrary& library, bool includeHidden);

// A template named in the library (exactly, then ignoring case) or the path
// of a template document (.xml, .tmpl). Throws CliError with the closest
// names when nothing matches.
EffectSource FindEffect(const std::string& nameOrPath, TemplateLibrary& library);

// Runs one effect on photos through the processing engine, as the studio
// does: the photos become the inputs in order, then SetTemplate and Apply,
// waiting for a background run. One runner serves many renders; each runner
// owns its engine and template, so runners can work on separate threads.
class EffectRunner {
public:
  // Throws CliError when the template cannot be created or a setting does
  // not fit it (a variable it lacks, a value out of range, ...).
  EffectRunner(const EffectSource& source, const EffectSettings& settings);
  ~EffectRunner();

  // The effect on the photos; throws CliError for a photo that does not
  // load (with the loader's reason) or an effect that gives no picture. What
  // the loader warns about a photo goes to standard error.
  cv::Mat Render(const std::vector<std::filesystem::path>& photos);
  // The gallery thumbnail of the effect on the photos already handed.
  cv::Mat Thumbnail();
  // Writes the effect's animation as a GIF; throws CliError when it has none
  // or it cannot be written. With showProgress, a line on standard error
  // (a terminal) follows the frames.
  // A delay writes the smaller file: each frame only where it changed, shown
  // for delay hundredths of a second.
  void SaveAnimation(const std::filesystem::path& path, cv::Size maxSize, bool overwrite, bool showProgress,
                     std::optional<int> delay = std::nullopt);

  CEffectTemplate& Template() { return *effect_; }

private:
  void HandPhotos(const std::vector<std::filesystem::path>& photos);
  void ApplySettings(const EffectSettings& settings);

  std::string name_;
  int photoCap_;  // the working-image cap of the photos handed
  CProcessEngine engine_;
  TemplateRef effect_;
};

}  // namespace grinsnap::cli
