#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace grinsnap {

// Identifiers of the built-in string table. A language file replaces an
// entry through its "STRING" section, keyed by the decimal identifier.
enum StringId : int {
  kIdsAboutMenuItem = 101,
  kIdsExport = 105,
  kIdsExportTip = 108,
  kIdsAddToInput = 124,
  kIdsAddToInputTip = 125,
  kIdsZoomIn = 128,
  kIdsZoomOut = 129,
  kIdsZoomInTip = 130,
  kIdsZoomOutTip = 131,
  kIdsSettings = 132,
  kIdsMinimizeWindow = 133,
  kIdsMaximizeWindow = 134,
  kIdsRestoreWindow = 135,
  kIdsCloseWindow = 136,
  kIdsInvalidExportSize = 137,
  kIdsNoImageToSave = 138,
  kIdsSaveImageSucceeded = 139,
  kIdsExportGifSucceeded = 141,
  kIdsExportGifFailed = 142,
  kIdsNoGifTemplate = 143,
  kIdsOverwriteFile = 145,
  kIdsCheckingVersion = 146,
  kIdsCheckVersionCaption = 147,
  kIdsVersionCheckError = 148,
  kIdsNewVersionDetails = 149,
  kIdsLatestVersion = 150,
  kIdsDownloadHttpError = 151,
  kIdsConfirmQuit = 152,
  kIdsFaceNotDetected = 154,
  kIdsUpgradeQuestion = 155,
  kIdsNewVersionCaption = 156,
  kIdsDownloadOnlineTemplate = 157,
  kIdsDownloadFailed = 158,
  kIdsAddImage = 159,
  kIdsShowControlPanel = 160,
  kIdsAddImageTip = 161,
  kIdsShowControlPanelTip = 162,
  kIdsRotateLeft = 163,
  kIdsRotateRight = 164,
  kIdsRotateLeftTip = 165,
  kIdsRotateRightTip = 166,
  kIdsSearchFace = 167,
  kIdsSearchFaceTip = 168,
  kIdsHideControlPanel = 170,
  kIdsHideControlPanelTip = 171,
  kIdsEdit = 174,
  kIdsEditTip = 175,
  kIdsUploading = 176,
  kIdsLoginFailed = 177,
  kIdsUploadFailed = 178,
  kIdsUploadSucceeded = 179,
  kIdsMakeUploadFileFailed = 183,
  kIdsLoggingIn = 184,
  kIdsInputAccount = 187,
  kIdsOtherColors = 188,
  kIdsAlignFill = 189,
  kIdsAlignFit = 190,
  kIdsOrderSequential = 191,
  kIdsOrderRandom = 192,
  kIdsTipDragAndDrop = 193,
  kIdsTipDoubleClickFrame = 194,
  // Texts of this program beyond the classic table.
  kIdsOriginalImage = 195,
  kIdsOriginalImageTip = 196,
  kIdsShowResult = 197,
  kIdsShowResultTip = 198,
  kIdsEmptyPreviewHint = 199,
  kIdsLoadingPhoto = 200,
  kIdsApplyingEffect = 201,
  kIdsPhotosTab = 202,
  kIdsHistoryTab = 203,
  kIdsPhotoLoadFailed = 204,
  kIdsRenderFailed = 205,
  kIdsHistoryStep = 206,
  kIdsAboutText = 207,
};

// A text with its "%s" and "%d" fields replaced by the arguments in turn
// ("%02d" pads its argument with zeros to two characters); "%%" is a
// percent sign; fields without an argument stay as they are.
std::string FormatText(std::string_view pattern, std::initializer_list<std::string> arguments);

// The first and last identifier of the string table.
inline constexpr int kFirstStringId = 101;
inline constexpr int kLastStringId = 207;

// The built-in text of a string identifier; null for an identifier the
// table does not hold. Texts are UTF-8 with real line breaks.
const char* BuiltinString(int id);

// Every identifier the built-in table holds, ascending.
struct BuiltinStringEntry {
  int id;
  const char* text;
};
const BuiltinStringEntry* BuiltinStrings(int* count);

}  // namespace grinsnap
