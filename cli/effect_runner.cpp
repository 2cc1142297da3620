#include "cli/effect_runner.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "app/template_library.h"
#include "cli/cli_support.h"
#include "templates/simple_template.h"
#include "core/template_document.h"
#include "filters/multi/collage_3d.h"
#include "platform/messages.h"
#include "platform/image_loader.h"
#include "platform/message_target.h"

namespace grinsnap::cli {

namespace fs = std::filesystem;

std::vector<EffectSource> LibraryEffects(TemplateLibrary& library, bool includeHidden) {
  std::vector<EffectSource> effects;
  for (const auto& column : library.Columns())
    for (const auto& entry : column->entries) {
      if (!entry->document || (entry->hide && !includeHidden)) continue;
      effects.push_back({entry->document, entry->DocumentFolder(), entry->name});
    }
  return effects;
}

EffectSource FindEffect(const std::string& nameOrPath, TemplateLibrary& library) {
  const std::vector<EffectSource> effects = LibraryEffects(library, true);
  for (const EffectSource& effect : effects)
    if (effect.name == nameOrPath) return effect;
  for (const EffectSource& effect : effects)
    if (EqualsIgnoreCase(effect.name, nameOrPath)) return effect;

  const fs::path path(nameOrPath);
  std::error_code ignored;
  if (fs::is_regular_file(path, ignored)) {
    std::string error;
    auto document = TemplateDocument::FromFile(path, &error);
    if (!document) throw CliError(kExitTemplate, "cannot read template document '" + nameOrPath + "': " + error);
    const char* name = document->DisplayName();
    return {document, fs::absolute(path, ignored).parent_path(), name ? name : path.stem().string()};
  }

  std::vector<std::string> names;
  for (const EffectSource& effect : effects) names.push_back(effect.name);
  const std::vector<std::string> close = ClosestNames(nameOrPath, names, 5);
  std::string hint;
  if (!close.empty()) {
    hint = "did you mean";
    for (std::size_t i = 0; i < close.size(); ++i) hint += (i ? ", '" : " '") + close[i] + "'";
    hint += "?";
  } else {
    hint = "run 'grinsnap-cli list' to see the templates";
  }
  const std::string ext = path.extension().string();
  if (ext == ".xml" || ext == ".tmpl") hint = "no such file; " + hint;
  throw CliError(kExitTemplate, "no template named '" + nameOrPath + "'", hint);
}

namespace {

// The largest side of the photos' working images. Without a box the result
// has the photo's own size, so nothing is capped short of the loader's own
// limit; with one, photos are capped as the studio caps them, or at the box
// when that is larger, so the result is never enlarged from a smaller copy.
int PhotoCap(const EffectSettings& settings) {
  if (!settings.size) return static_cast<int>(kMaxImageSide);
  return std::max({kWorkingImageCap, settings.size->width, settings.size->height});
}

}  // namespace

EffectRunner::EffectRunner(const EffectSource& source, const EffectSettings& settings)
    : name_(source.name), photoCap_(PhotoCap(settings)) {
  effect_ = TemplateRef(CreateTemplateFromDocument(source.document, source.folder, &engine_));
  if (!effect_) {
    const char* className = source.document ? source.document->TemplateClassName() : nullptr;
    throw CliError(kExitTemplate, "template '" + name_ + "' cannot be created",
                   className ? std::string("its class '") + className + "' is not known; see 'grinsnap-cli classes'"
                             : "the document has no 'filter' element naming a template class");
  }
  ApplySettings(settings);
  if (settings.size) engine_.SetViewRect(cv::Rect({0, 0}, *settings.size));
  engine_.SetTemplate(effect_.get());
}

EffectRunner::~EffectRunner() { engine_.SetTemplate(nullptr); }

void EffectRunner::ApplySettings(const EffectSettings& settings) {
  const bool anyVariable = settings.variables[0] || settings.variables[1] || settings.variables[2];
  if (!anyVariable && !settings.roi && !settings.pick) return;
  auto* simple = dynamic_cast<CT_SimpleTempl*>(effect_.get());
  if (!simple) throw CliError(kExitUsage, "template '" + name_ + "' takes no variables, region or pick point");

  for (int i = 0; i < kVariableCount; ++i) {
    if (!settings.variables[static_cast<std::size_t>(i)]) continue;
    const double value = *settings.variables[static_cast<std::size_t>(i)];
    const std::string option = "--var" + std::to_string(i + 1);
    if (!simple->HasVariable(i)) {
      std::string has;
      for (int j = 0; j < kVariableCount; ++j)
        if (simple->HasVariable(j)) has += (has.empty() ? "" : ", ") + ("--var" + std::to_string(j + 1)) + " '" +
                                           simple->VariableName(j) + "'";
      throw CliError(kExitUsage, "template '" + name_ + "' has no variable " + std::to_string(i + 1),
                     has.empty() ? "it has no variables" : "it has " + has);
    }
    const TemplateVariable& v = simple->Variable(i);
    if (value < v.min || value > v.max) {
      char range[128];
      std::snprintf(range, sizeof range, "%g to %g (default %g)", v.min, v.max, v.defaultValue);
      throw CliError(kExitUsage, option + " " + std::to_string(value) + " is out of range",
                     "'" + simple->VariableName(i) + "' goes from " + range);
    }
    // The value goes in as a slider position, as the option pane sets it.
    if (v.resolution > 0) {
      const auto position = static_cast<std::intptr_t>(std::lround(value / v.resolution));
      simple->Command(kCmdSetVariable, 0, i, reinterpret_cast<void*>(position));
    } else {
      simple->SetParam(i, static_cast<float>(value));
    }
  }
  if (settings.roi) {
    if (!simple->HasRoi()) throw CliError(kExitUsage, "template '" + name_ + "' has no region of interest (--roi)");
    for (int k = 0; k < 4; ++k) simple->SetParam(kBlockRoiX + k, static_cast<float>((*settings.roi)[k]));
  }
  if (settings.pick) {
    if (!simple->HasPick()) throw CliError(kExitUsage, "template '" + name_ + "' has no pick point (--pick)");
    simple->SetParam(kBlockPointX, static_cast<float>((*settings.pick)[0]));
    simple->SetParam(kBlockPointY, static_cast<float>((*settings.pick)[1]));
  }
}

void EffectRunner::HandPhotos(const std::vector<fs::path>& photos) {
  engine_.ClearInputs();
  engine_.RemoveAllPhotos();
  for (const fs::path& photo : photos) {
    PhotoItem item(photo);
    item.workingImageCap = photoCap_;
    engine_.InsertPhoto(-1, item);
  }
  for (int i = 0; i < static_cast<int>(photos.size()); ++i) {
    if (i == 0)
      engine_.SelectSingleInput(0);
    else
      engine_.AddInput(i);
    const PhotoItem input = engine_.GetInput(i);
    const fs::path& photo = photos[static_cast<std::size_t>(i)];
    if (input.workingImage.empty()) {
      std::error_code ignored;
      const bool exists = fs::exists(photo, ignored);
      const std::string reason = input.LoadFailure().value_or("unknown error");
      throw CliError(kExitPhoto, "cannot read photo '" + photo.string() + "'" + (exists ? "" : ": no such file"),
                     "loader: " + reason);
    }
    for (const std::string& warning : input.LoadWarnings()) WarnOnce("photo '" + photo.string() + "': " + warning);
  }
}

cv::Mat EffectRunner::Render(const std::vector<fs::path>& photos) {
  HandPhotos(photos);
  if (!engine_.Apply()) engine_.WaitForResult();
  const RenderResult result = engine_.LastResult();
  if (result.IsFailed())
    throw CliError(kExitNoResult, "template '" + name_ + "' could not render these photos: " + result.message);
  const cv::Mat& output = engine_.Output();
  if (output.empty()) throw CliError(kExitNoResult, "template '" + name_ + "' gave no picture for these photos");
  return output.clone();
}

cv::Mat EffectRunner::Thumbnail() {
  cv::Mat thumbnail;
  const RenderResult result = engine_.RenderTemplateThumbnail(*effect_, thumbnail);
  if (result.IsFailed())
    throw CliError(kExitNoResult, "template '" + name_ + "' gave no thumbnail: " + result.message);
  return thumbnail;
}

namespace {

// The animation's progress (message 0xCDC, wParam = per cent) as one line
// rewritten on a terminal.
class ProgressLine final : public MessageTarget {
public:
  explicit ProgressLine(bool shown) : shown_(shown) {}
  ~ProgressLine() override {
    if (shown_ && last_ >= 0) std::fprintf(stderr, "\r\033[Kwriting the animation: done\n");
  }
  void Post(std::uint32_t message, WParam wParam, LParam lParam) override { Send(message, wParam, lParam); }
  LParam Send(std::uint32_t message, WParam wParam, LParam) override {
    if (message != kMsgGifProgress || !shown_) return 0;
    const int percent = static_cast<int>(std::min<WParam>(wParam, 100));
    if (percent == last_) return 0;
    last_ = percent;
    std::fprintf(stderr, "\r\033[Kwriting the animation: %3d%%", percent);
    std::fflush(stderr);
    return 0;
  }

private:
  bool shown_;
  int last_ = -1;
};

CF_3DCollage* AnimatedCollage(CEffectTemplate& effect) {
  auto* simple = dynamic_cast<CT_SimpleTempl*>(&effect);
  return simple ? dynamic_cast<CF_3DCollage*>(simple->Filter()) : nullptr;
}

// Why the template's filter could not write its animation, when it says.
std::string AnimationFailure(CEffectTemplate& effect) {
  CF_3DCollage* collage = AnimatedCollage(effect);
  return collage ? collage->AnimationError() : std::string();
}

}  // namespace

void EffectRunner::SaveAnimation(const fs::path& path, cv::Size maxSize, bool overwrite, bool showProgress,
                                 std::optional<int> delay) {
  if (!effect_->CanExportAnimation())
    throw CliError(kExitNoResult, "template '" + name_ + "' has no animation to export",
                   "leave out --gif to save a still picture");
  if (delay) {
    CF_3DCollage* collage = AnimatedCollage(*effect_);
    if (!collage)
      throw CliError(kExitUsage, "template '" + name_ + "' writes its animation one way only",
                     "leave out --gif-delay");
    collage->SetGifOptions({.mode = GifFrameMode::ChangedRectangle, .delayCentiseconds = *delay});
  }
  std::error_code ignored;
  if (!overwrite && fs::exists(path, ignored))
    throw CliError(kExitOutput, "'" + path.string() + "' already exists", "add --force to replace it");
  bool saved = false;
  {
    ProgressLine progress(showProgress);
    saved = effect_->SaveAnimation(path.string(), maxSize.width, maxSize.height, &progress);
  }
  if (!saved) {
    const std::string reason = AnimationFailure(*effect_);
    throw CliError(kExitOutput, "could not write the animation to '" + path.string() + "'" +
                                    (reason.empty() ? std::string() : ": " + reason));
  }
}

}  // namespace grinsnap::cli
