#include "app/string_table.h"

#include <algorithm>
#include <iterator>

namespace grinsnap {
namespace {

// Sorted by identifier (BuiltinString searches it by halves).
constexpr BuiltinStringEntry kStrings[] = {
    {kIdsAboutMenuItem, "About Grinsnap..."},
    {kIdsExport, "Export"},
    {kIdsExportTip, "Save the result as an image, export a GIF animation or share it"},
    {kIdsAddToInput, "Add To Input"},
    {kIdsAddToInputTip, "Add the current result to the image list as a new input photo"},
    {kIdsZoomIn, "Zoom in"},
    {kIdsZoomOut, "Zoom out"},
    {kIdsZoomInTip, "Zoom in the preview"},
    {kIdsZoomOutTip, "Zoom out the preview"},
    {kIdsSettings, "Settings"},
    {kIdsMinimizeWindow, "Minimize Window"},
    {kIdsMaximizeWindow, "Maximize Window"},
    {kIdsRestoreWindow, "Restore Window"},
    {kIdsCloseWindow, "Close Window"},
    {kIdsInvalidExportSize, "Input parameter is not valid, please check."},
    {kIdsNoImageToSave, "There is currently no image available for saving!"},
    {kIdsSaveImageSucceeded, "Save image suceeded!"},
    {kIdsExportGifSucceeded, "Export gif file succeeded!"},
    {kIdsExportGifFailed, "Export gif file failed!"},
    {kIdsNoGifTemplate, "No template is selected that can export gif animaotion files."},
    {kIdsOverwriteFile, "The file already exists, would you like to overwrite it?"},
    {kIdsCheckingVersion, "\n\nChecking new version of %s online, please waiting..."},
    {kIdsCheckVersionCaption, "Check new version online..."},
    {kIdsVersionCheckError,
     "Error while getting version information from %s due to the following reason:\n%sPlease make sure your "
     "internet connection is working."},
    {kIdsNewVersionDetails,
     "A new version is available.\nVersion:%d.%02d\nBuild:%d\nPlease download it by clicking the following link "
     "and upgrade."},
    {kIdsLatestVersion, "\n\nCongratulations! You are currently running the latest version."},
    {kIdsDownloadHttpError, "Download remote file %s failed, error code: HTTP %d!"},
    {kIdsConfirmQuit, "Are you sure you want to quit?"},
    {kIdsFaceNotDetected, "The target face is not detected, please select a face region manually."},
    {kIdsUpgradeQuestion,
     "A new version is available, it is recommended to upgrade your current version.\n\nDo you want to upgrade "
     "now?"},
    {kIdsNewVersionCaption, "New Version Detected"},
    {kIdsDownloadOnlineTemplate, "Double Click To Download Online Template \"%s\""},
    {kIdsDownloadFailed, "Download Failed, Double Click To Redownload"},
    {kIdsAddImage, "Add Image"},
    {kIdsShowControlPanel, "Show Control Panel"},
    {kIdsAddImageTip, "Add photos to the image list"},
    {kIdsShowControlPanelTip, "Show the option panel of the current template"},
    {kIdsRotateLeft, "Rotate Left"},
    {kIdsRotateRight, "Rotate Right"},
    {kIdsRotateLeftTip, "Rotate the original image 90 degrees to the left"},
    {kIdsRotateRightTip, "Rotate the original image 90 degrees to the right"},
    {kIdsSearchFace, "Search Face"},
    {kIdsSearchFaceTip, "Press to find another face, if possible"},
    {kIdsHideControlPanel, "Hide Control Panel"},
    {kIdsHideControlPanelTip, "Hide the option panel of the current template"},
    {kIdsEdit, "Edit"},
    {kIdsEditTip, "Edit the current photo"},
    {kIdsUploading, "Uploading..."},
    {kIdsLoginFailed,
     "Login failed. Please check your uername and password is correct and the network is connected"},
    {kIdsUploadFailed, "Upload failed. Please check your internet connection."},
    {kIdsUploadSucceeded, "Upload Succeeded!"},
    {kIdsMakeUploadFileFailed, "Make upload file failed."},
    {kIdsLoggingIn, "Logging in..."},
    {kIdsInputAccount, "Input your %s account"},
    {kIdsOtherColors, "Other colors"},
    {kIdsAlignFill, "Fill"},
    {kIdsAlignFit, "Fit"},
    {kIdsOrderSequential, "Sequencial"},
    {kIdsOrderRandom, "Random"},
    {kIdsTipDragAndDrop,
     "You can drag-and-drop image from the image list to the preview window to view the effect."},
    {kIdsTipDoubleClickFrame, "Double click on frames to change source image."},
    {kIdsOriginalImage, "Original Image"},
    {kIdsOriginalImageTip, "Show the photo itself, to turn it or to set its clip box"},
    {kIdsShowResult, "Result"},
    {kIdsShowResultTip, "Show the result of the template again"},
    {kIdsEmptyPreviewHint, "Add a photo to begin"},
    {kIdsLoadingPhoto, "Loading %s..."},
    {kIdsApplyingEffect, "Applying the effect..."},
    {kIdsPhotosTab, "Photos"},
    {kIdsHistoryTab, "History"},
    {kIdsPhotoLoadFailed,
     "The picture \"%s\" could not be opened. It may be damaged, too large, or in a format Grinsnap does not "
     "read."},
    {kIdsRenderFailed, "The effect could not be applied to this photo: %s."},
    {kIdsHistoryStep, "Step %d of %d of the history"},
    {kIdsAboutText, "A photo-effects studio."},
};

static_assert(std::is_sorted(std::begin(kStrings), std::end(kStrings),
                             [](const BuiltinStringEntry& a, const BuiltinStringEntry& b) { return a.id < b.id; }));

}  // namespace

const char* BuiltinString(int id) {
  const auto* found = std::lower_bound(std::begin(kStrings), std::end(kStrings), id,
                                       [](const BuiltinStringEntry& entry, int key) { return entry.id < key; });
  return (found != std::end(kStrings) && found->id == id) ? found->text : nullptr;
}

std::string FormatText(std::string_view pattern, std::initializer_list<std::string> arguments) {
  std::string out;
  auto next = arguments.begin();
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size()) {
      const char kind = pattern[i + 1];
      if (kind == '%') {
        out += '%';
        ++i;
        continue;
      }
      if ((kind == 's' || kind == 'd') && next != arguments.end()) {
        out += *next++;
        ++i;
        continue;
      }
      // "%0Nd": the argument padded with zeros to N characters.
      if (kind == '0' && i + 3 < pattern.size() && pattern[i + 2] >= '1' && pattern[i + 2] <= '9' &&
          pattern[i + 3] == 'd' && next != arguments.end()) {
        const std::size_t width = static_cast<std::size_t>(pattern[i + 2] - '0');
        if (next->size() < width) out.append(width - next->size(), '0');
        out += *next++;
        i += 3;
        continue;
      }
    }
    out += pattern[i];
  }
  return out;
}

const BuiltinStringEntry* BuiltinStrings(int* count) {
  if (count) *count = static_cast<int>(std::size(kStrings));
  return kStrings;
}

}  // namespace grinsnap
