#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "app/settings_storage.h"

namespace grinsnap {

// A rectangle in screen pixels; right and bottom are exclusive edges.
struct ScreenRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  // 64-bit differences: a stored rectangle holds whatever the file said.
  std::int64_t Width() const { return std::int64_t(right) - left; }
  std::int64_t Height() const { return std::int64_t(bottom) - top; }
  bool operator==(const ScreenRect&) const = default;
};

// What the share dialog is filled from and what it hands back.
struct ShareDialogValues {
  std::string username;
  std::string password;
  bool remember = false;
  std::string message;
  std::string tag;
  bool privateShare = false;
};

// The per-user preferences, one instance for the process. Loaded once at
// start, saved once at exit; everything in between changes this object only.
class CGRSSettings : public CSettings {
public:
  // Defaults.
  static constexpr const char* kAutoLanguage = "auto";
  static constexpr const char* kDefaultShareMessage = "Wow, I made this picture with Grinsnap! Cool!";
  static constexpr const char* kDefaultPhotoTag = "Grinsnap";
  // The main window's first-run size and its smallest size.
  static constexpr int kFirstRunWidth = 1020;
  static constexpr int kFirstRunHeight = 629;
  static constexpr int kMinimumWidth = 800;
  static constexpr int kMinimumHeight = 600;

  // Stored values, in the order they are serialised (the value names are
  // the strings in Serialize).
  std::string language = kAutoLanguage;      // "language": file inside "lang", or "auto"
  bool languageAuto = true;                  // "languageAuto": follow the system language
  std::int32_t wndLeft = 0;                  // "wndleft"
  std::int32_t wndTop = 0;                   // "wndtop"
  std::int32_t wndRight = 0;                 // "wndright"
  std::int32_t wndBottom = 0;                // "wndbottom"
  std::string photoShareMessage = kDefaultShareMessage;  // "PhotoShareMessage"
  std::string photoTag = kDefaultPhotoTag;   // "PhotoTag"
  bool privateShare = false;                 // "Private"
  std::string username;                      // "username"
  std::string password;                      // "password" (plain text, as the user asked to remember it)
  std::int32_t remacc = 0;                   // "remacc": non-zero when the account is remembered
  std::string exportPath;                    // "export": last saved or exported file
  bool maximized = false;                    // "wndmaximized": the window was left maximised

  bool Serialize(bool write, CSettingsStorage& storage, bool reset) override;

  // Start-up load: defaults, then the stored values (a missing store or value
  // leaves the default), then the window rule and the export default.
  // Returns whether the store could be read; the object is usable either way.
  bool LoadAtStart(CSettingsStorage& storage, const ScreenRect& workArea, const std::filesystem::path& documents);

  // First run (all four window values zero): a 1020 x 629 window centred on
  // the work area's size, measured from the screen origin. A stored
  // rectangle that makes no sense (see SensibleWindowRect) is treated the
  // same way.
  void ApplyWindowRule(const ScreenRect& workArea);
  // No screen reaches this far from the origin; a rectangle beyond it was
  // not stored by the program.
  static constexpr std::int32_t kMaxWindowCoordinate = 1 << 20;
  // Edges within +-kMaxWindowCoordinate, right not left of left and bottom
  // not above top.
  static bool SensibleWindowRect(const ScreenRect& rect);
  // An empty export path becomes documents/Grinsnap/Untitled.jpg.
  void ApplyExportDefault(const std::filesystem::path& documents);

  ScreenRect WindowRect() const { return {wndLeft, wndTop, wndRight, wndBottom}; }
  // Stores a window rectangle the user moved or sized the window to; one
  // smaller than 800 x 600 is refused (false) and the stored one stays.
  bool StoreWindowRect(const ScreenRect& rect);

  ShareDialogValues ShareDefaults() const;
  // The share dialog closed: the remember box decides whether the account
  // is kept or emptied; message, tag and privacy are kept as last used.
  void TakeShareDialogResult(const ShareDialogValues& values);
};

// The message shown when saving the settings at exit fails.
inline constexpr const char* kSaveSettingsErrorText = "Save project settings error!";

// The global state that is not saved: it lives until the program ends.
struct SessionState {
  ScreenRect workArea;              // the screen's work area, read at start
  std::string fontName = "Arial";   // user-interface font
  int fontSize = 14;
  bool showAllTemplates = false;    // the gallery shows hidden templates too
  bool updateCheckEnabled = true;   // check for a new version at start
  bool faceNoticeEnabled = true;    // show the "face not detected" notice
};

}  // namespace grinsnap
