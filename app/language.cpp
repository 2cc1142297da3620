#include "app/language.h"

#include <algorithm>
#include <system_error>

#include "app/ini_file.h"
#include "app/settings.h"
#include "app/string_table.h"
#include "app/system_language.h"
#include "platform/paths.h"

namespace fs = std::filesystem;

namespace grinsnap {
namespace {

constexpr const char* kStringSection = "STRING";
constexpr const char* kMenuSection = "MENU";
constexpr const char* kDictionarySection = "DICTIONARY";
constexpr const char* kBitmapSection = "BITMAP";
constexpr const char* kImageSection = "IMAGE";
constexpr const char* kGeneralSection = "General";
constexpr const char* kLanguageNameKey = "Language";
constexpr const char* kLookupSection = "LANGUAGE";
// Menus nest a few levels at most; the limit only guards against a menu
// that contains itself.
constexpr int kMaxMenuDepth = 16;

std::string DialogSection(int dialogId) { return "DIALOG_IDD_" + std::to_string(dialogId); }

bool IsRegularFile(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

// "lang_" + three characters + ".ini", letters compared without regard to
// case as the file systems of the original platform do.
bool IsLanguageFileName(const std::string& name) {
  return name.size() == 12 && EqualsIgnoreCase(name.substr(0, 5), "lang_") &&
         EqualsIgnoreCase(name.substr(8), ".ini");
}

}  // namespace

std::string ExpandEscapes(std::string_view text, bool tabs) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      if (text[i + 1] == 'n') {
        out += '\n';
        ++i;
        continue;
      }
      if (tabs && text[i + 1] == 't') {
        out += '\t';
        ++i;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

struct CLanguage::Cache {
  fs::path path;
  fs::file_time_type modified;
  std::uintmax_t size = 0;
  IniFile file;
};

CLanguage::CLanguage(fs::path langFolder, const CGRSSettings& settings)
    : folder_(std::move(langFolder)), settings_(settings) {}

CLanguage::~CLanguage() = default;

fs::path CLanguage::CurrentFile() const { return LanguageFilePath(folder_, settings_.language); }

fs::path LanguageFilePath(const fs::path& langFolder, std::string_view fileName) {
  return ResolveDataPath(langFolder, fileName);
}

std::optional<std::string> CLanguage::Lookup(std::string_view section, std::string_view key) const {
  const fs::path path = CurrentFile();
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return std::nullopt;
  const fs::file_time_type modified = fs::last_write_time(path, ec);
  if (ec) return std::nullopt;
  const std::uintmax_t size = fs::file_size(path, ec);
  if (ec) return std::nullopt;

  std::lock_guard<std::mutex> lock(mutex_);
  if (!cache_ || cache_->path != path || cache_->modified != modified || cache_->size != size) {
    auto fresh = std::make_unique<Cache>();
    fresh->path = path;
    fresh->modified = modified;
    fresh->size = size;
    if (!fresh->file.Load(path)) return std::nullopt;
    cache_ = std::move(fresh);
  }
  return cache_->file.ProfileString(section, key);
}

std::string CLanguage::Text(int stringId) const {
  const std::optional<std::string> value = Lookup(kStringSection, std::to_string(stringId));
  if (value && !value->empty()) return ExpandEscapes(*value, true);
  const char* builtin = BuiltinString(stringId);
  return builtin ? builtin : "";
}

std::string CLanguage::Translate(std::string_view source) const {
  const std::optional<std::string> value = Lookup(kDictionarySection, source);
  return (value && !value->empty()) ? *value : std::string(source);
}

std::string CLanguage::DialogTitle(int dialogId) const {
  return Lookup(DialogSection(dialogId), "title").value_or("");
}

std::string CLanguage::ControlText(int dialogId, int controlId) const {
  const std::optional<std::string> value = Lookup(DialogSection(dialogId), std::to_string(controlId));
  return value ? ExpandEscapes(*value, false) : "";
}

std::string CLanguage::MenuText(std::string_view key) const {
  const std::optional<std::string> value = Lookup(kMenuSection, key);
  return value ? ExpandEscapes(*value, true) : "";
}

std::optional<fs::path> CLanguage::BitmapFile(int id) const {
  const std::optional<std::string> value = Lookup(kBitmapSection, std::to_string(id));
  return FileInFolder(value);
}

std::optional<fs::path> CLanguage::ImageFile(int id) const {
  return FileInFolder(Lookup(kImageSection, std::to_string(id)));
}

std::optional<fs::path> CLanguage::FileInFolder(const std::optional<std::string>& name) const {
  if (!name || name->empty()) return std::nullopt;
  fs::path path = ResolveDataPath(folder_, *name);
  if (path.empty()) return std::nullopt;
  return path;
}

void CLanguage::ApplyToDialog(DialogTextTarget& dialog, int dialogId) const {
  const std::string title = DialogTitle(dialogId);
  if (!title.empty()) dialog.SetCaption(title);
  const int count = dialog.ChildCount();
  for (int i = 0; i < count; ++i) {
    const std::string text = ControlText(dialogId, dialog.ChildControlId(i));
    if (!text.empty()) dialog.SetChildText(i, text);
  }
}

void CLanguage::ApplyToMenu(MenuTextTarget& menu, int parent) const { ApplyToMenu(menu, parent, 0); }

void CLanguage::ApplyToMenu(MenuTextTarget& menu, int parent, int depth) const {
  if (depth > kMaxMenuDepth) return;
  const int count = menu.ItemCount();
  for (int position = 0; position < count; ++position) {
    switch (menu.Kind(position)) {
      case MenuTextTarget::ItemKind::Separator:
        break;
      case MenuTextTarget::ItemKind::Command: {
        const std::string text = MenuText(std::to_string(menu.CommandId(position)));
        if (!text.empty()) menu.SetItemText(position, text);
        break;
      }
      case MenuTextTarget::ItemKind::SubMenu: {
        const int number = position + 10 * parent + 10;
        const std::string text = MenuText("item_" + std::to_string(number + 1));
        if (!text.empty()) menu.SetItemText(position, text);
        if (MenuTextTarget* sub = menu.SubMenu(position)) ApplyToMenu(*sub, number, depth + 1);
        break;
      }
    }
  }
}

void ResolveLanguageAtStart(CGRSSettings& settings, const fs::path& langFolder, std::uint16_t systemLangId) {
  if (settings.languageAuto || settings.language == CGRSSettings::kAutoLanguage) {
    IniFile lookup;
    lookup.Load(langFolder / kLanguageLookupFile);
    const std::optional<std::string> found = lookup.ProfileString(kLookupSection, LangIdKey(systemLangId));
    settings.language = (found && !found->empty()) ? *found : kDefaultLanguageFile;
  }
  if (!IsRegularFile(LanguageFilePath(langFolder, settings.language))) settings.language = kDefaultLanguageFile;
}

void ChooseAutoLanguage(CGRSSettings& settings, const fs::path& langFolder, std::uint16_t systemLangId) {
  settings.languageAuto = true;
  ResolveLanguageAtStart(settings, langFolder, systemLangId);
}

void ChooseLanguage(CGRSSettings& settings, const std::string& fileName) {
  settings.languageAuto = false;
  settings.language = fileName;
}

LanguageMenu BuildLanguageMenu(const fs::path& langFolder, const CGRSSettings& settings) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(langFolder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::error_code typeError;
    if (IsLanguageFileName(name) && it->is_regular_file(typeError)) names.push_back(name);
  }
  // The directory order is arbitrary here; name order keeps the menu stable.
  std::sort(names.begin(), names.end());

  LanguageMenu menu;
  menu.autoChecked = settings.languageAuto;
  for (const std::string& name : names) {
    const int command = kLanguageFirstCommand + static_cast<int>(menu.entries.size());
    if (command > kLanguageLastCommand) break;
    IniFile file;
    if (!file.Load(langFolder / name)) continue;
    std::string caption = file.ProfileString(kGeneralSection, kLanguageNameKey).value_or("");
    if (caption.empty()) continue;
    LanguageMenuEntry entry;
    entry.commandId = command;
    entry.caption = std::move(caption);
    // The name as the folder has it: on a file system that tells case the
    // lower-case spelling names no file.
    entry.fileName = name;
    entry.checked = !settings.languageAuto && EqualsIgnoreCase(entry.fileName, settings.language);
    menu.entries.push_back(std::move(entry));
  }
  return menu;
}

const LanguageMenuEntry* FindLanguageEntry(const LanguageMenu& menu, int commandId) {
  for (const LanguageMenuEntry& entry : menu.entries) {
    if (entry.commandId == commandId) return &entry;
  }
  return nullptr;
}

}  // namespace grinsnap
