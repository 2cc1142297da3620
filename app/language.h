#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace grinsnap {

class CGRSSettings;
class IniFile;

// The language every installation has; the fallback for everything.
inline constexpr const char* kDefaultLanguageFile = "lang_eng.ini";
inline constexpr const char* kLanguageLookupFile = "language_lookup.ini";

// Menu commands of the language choice.
inline constexpr int kLanguageFirstCommand = 33000;
inline constexpr int kLanguageLastCommand = 33256;
inline constexpr int kAutoLanguageCommand = 32791;

// Dialog identifiers whose texts a language file may replace
// (section "DIALOG_IDD_<id>").
enum DialogId : int {
  kDlgAbout = 100,
  kDlgMainWindow = 102,
  kDlgWorkArea = 103,
  kDlgChangeFacePane = 135,
  kDlgExpressionPane = 136,
  kDlgPreview = 157,
  kDlgOperationPanel = 158,
  kDlgPhotoEdit = kDlgOperationPanel,  // the photo-editing dialog stands in for it
  kDlg2DPane = 159,
  kDlg3DPane = 160,
  kDlgExport = 165,
  kDlgOriginalImagePane = 181,
  kDlgUpdateCheck = 258,
  kDlgFaceNotDetected = 300,
  kDlgUploadWizard = 307,
  kDlgUploadInfo = 308,
  kDlgUploadAccount = 309,
  kDlgUploadProgress = 310,
  kDlgUploadResult = 311,
  kDlgCollagePane = 323,
  kDlgTip = 325,
  kDlgExportProgress = 333,
};

// The part of a dialog window the language layer fills in. The user
// interface implements it over its real windows.
class DialogTextTarget {
public:
  virtual ~DialogTextTarget() = default;
  virtual void SetCaption(const std::string& text) = 0;
  // Child windows in the order the window system lists them.
  virtual int ChildCount() const = 0;
  virtual int ChildControlId(int index) const = 0;
  virtual void SetChildText(int index, const std::string& text) = 0;
};

// One menu (or sub-menu) the language layer fills in.
class MenuTextTarget {
public:
  enum class ItemKind { Separator, Command, SubMenu };
  virtual ~MenuTextTarget() = default;
  virtual int ItemCount() const = 0;
  virtual ItemKind Kind(int position) const = 0;
  virtual int CommandId(int position) const = 0;
  virtual void SetItemText(int position, const std::string& text) = 0;
  // The sub-menu at a position of kind SubMenu; null otherwise.
  virtual MenuTextTarget* SubMenu(int position) = 0;
};

// Replaces the two characters "\n" with a line break, and with tabs also
// "\t" with a tab; every other backslash stays.
std::string ExpandEscapes(std::string_view text, bool tabs);

// The language layer: every user-visible text by its identifier, taken from
// the current language file ("lang" folder + the `language` setting) when it
// has a non-empty value, else the built-in one. The file is looked up anew
// on every call (a parsed copy is kept while the file does not change), so a
// changed setting or file takes effect at the next lookup. Lookups may run
// on several threads at once; the `language` setting itself is changed only
// on the user-interface thread while no other thread looks texts up.
class CLanguage {
public:
  CLanguage(std::filesystem::path langFolder, const CGRSSettings& settings);
  ~CLanguage();

  const std::filesystem::path& Folder() const { return folder_; }
  // The current language file, for the image library.
  std::filesystem::path CurrentFile() const;

  // "STRING"/id with "\n" and "\t" expanded, else the built-in text, else "".
  std::string Text(int stringId) const;
  // "DICTIONARY"/source, no escapes; the source text when there is none.
  std::string Translate(std::string_view source) const;
  // "DIALOG_IDD_<id>"/"title"; "" when none.
  std::string DialogTitle(int dialogId) const;
  // "DIALOG_IDD_<id>"/<control id> with "\n" expanded; "" when none.
  std::string ControlText(int dialogId, int controlId) const;
  // "MENU"/key with "\n" and "\t" expanded; "" when none.
  std::string MenuText(std::string_view key) const;
  // "BITMAP"/id and "IMAGE"/id: the named file inside the lang folder. For a
  // bitmap the caller falls back to its built-in one; an image has none.
  std::optional<std::filesystem::path> BitmapFile(int id) const;
  std::optional<std::filesystem::path> ImageFile(int id) const;

  // Caption from "title", then every child's text from its control id;
  // empty values leave the built-in text.
  void ApplyToDialog(DialogTextTarget& dialog, int dialogId) const;
  // Sub-menu entries take "item_<position + 10 * parent + 11>", command
  // entries their command id; separators are skipped; each sub-menu is then
  // filled with parent = position + 10 * parent + 10. The top call passes -1.
  void ApplyToMenu(MenuTextTarget& menu, int parent = -1) const;

  // A raw profile value of the current language file (quotes removed, at
  // most 1023 characters, no escapes); empty when absent.
  std::optional<std::string> Lookup(std::string_view section, std::string_view key) const;

private:
  void ApplyToMenu(MenuTextTarget& menu, int parent, int depth) const;
  std::optional<std::filesystem::path> FileInFolder(const std::optional<std::string>& name) const;

  std::filesystem::path folder_;
  const CGRSSettings& settings_;

  struct Cache;
  mutable std::mutex mutex_;
  mutable std::unique_ptr<Cache> cache_;
};

// The language file a `language` value names: a file inside the lang
// folder, or an empty path when the value is empty, absolute or climbs out
// of the folder (then no language file is read and the built-in texts stand).
std::filesystem::path LanguageFilePath(const std::filesystem::path& langFolder, std::string_view fileName);

// Resolves the `language` setting at start: when `languageAuto` is set or
// `language` is "auto", the system language (as "0x%04X") is looked up in
// language_lookup.ini, section "LANGUAGE", and its value becomes the
// language, else "lang_eng.ini"; a language file that does not exist in the
// folder becomes "lang_eng.ini" too.
void ResolveLanguageAtStart(CGRSSettings& settings, const std::filesystem::path& langFolder,
                            std::uint16_t systemLangId);
// The user chose "Auto": languageAuto on, then the resolution above.
void ChooseAutoLanguage(CGRSSettings& settings, const std::filesystem::path& langFolder,
                        std::uint16_t systemLangId);
// The user chose a language entry: languageAuto off, that file current.
void ChooseLanguage(CGRSSettings& settings, const std::string& fileName);

// The language menu: one entry per "lang_???.ini" file in the folder that
// names its language in "General"/"Language", in file name order.
struct LanguageMenuEntry {
  int commandId = 0;       // 33000 + index among the offered files
  std::string caption;     // "General"/"Language"
  std::string fileName;    // as the folder spells it
  bool checked = false;    // the current language, when not automatic
};
struct LanguageMenu {
  std::vector<LanguageMenuEntry> entries;
  bool autoChecked = false;
};
LanguageMenu BuildLanguageMenu(const std::filesystem::path& langFolder, const CGRSSettings& settings);
// The entry of a menu command; null for a command that is no entry.
const LanguageMenuEntry* FindLanguageEntry(const LanguageMenu& menu, int commandId);

}  // namespace grinsnap
