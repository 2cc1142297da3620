#include <climits>
#include <optional>
#include <system_error>

#include "app/atomic_file.h"
#include "app/template_library.h"
#include "core/xml_document.h"
#include "platform/folders.h"
#include "platform/paths.h"
#include "platform/version.h"

namespace fs = std::filesystem;

namespace grinsnap {
namespace {

// A folder as the template files join it: '/' separators, no trailing one.
std::string FolderText(const fs::path& folder) {
  std::string text = NormalizeSeparators(folder.string());
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  if (text == "/") text.clear();
  return text;
}

// folder + "/" + a relative value, when the value stays inside the folder;
// empty when it is absolute or climbs out.
std::string Inside(const std::string& folder, std::string_view relative) {
  const std::optional<fs::path> inside = RelativeInside(relative);
  return inside ? folder + "/" + inside->generic_string() : std::string();
}

std::string_view WithoutLeadingSeparators(std::string_view value) {
  while (!value.empty() && (value.front() == '/' || value.front() == '\\')) value.remove_prefix(1);
  return value;
}

void ReplaceFirst(std::string& text, std::string_view macro, const std::string& replacement) {
  const size_t at = text.find(macro);
  if (at != std::string::npos) text.replace(at, macro.size(), replacement);
}

// config.cfg values: the leading dot stands for the program folder; a value
// that is still relative after that is taken against the program folder too,
// so that nothing depends on the current directory.
std::string AnchorToProgramFolder(std::string value, const LibraryEnvironment& environment) {
  value = NormalizeSeparators(value);
  if (!value.empty() && value.front() != '/') value = FolderText(environment.programFolder) + "/" + value;
  return value;
}

}  // namespace

LibraryEnvironment LibraryEnvironment::Current() {
  LibraryEnvironment environment;
  environment.programFolder = ProgramDataFolder();
  environment.documents = DocumentsFolder();
  // The per-user data base folder ($XDG_DATA_HOME): AppDataFolder() is its
  // Velmora/Grinsnap sub-folder.
  environment.appData = AppDataFolder().parent_path().parent_path();
  environment.programVersion = kProgramVersionNumber;
  return environment;
}

int ParseLeadingInt(const char* text) {
  if (!text) return 0;
  while (*text == ' ' || *text == '\t' || *text == '\n' || *text == '\r' || *text == '\f' || *text == '\v') ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  long long value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    value = value * 10 + (*text - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  return static_cast<int>(value);
}

int IntAttribute(const tinyxml2::XMLElement& element, const char* name) {
  return ParseLeadingInt(element.Attribute(name));
}

std::string ResolveTemplatePath(const std::string& directory, std::string_view value,
                                const std::filesystem::path& programFolder) {
  // "$(Program)" lets a user's template.cfg point at documents that ship in
  // the program's own (possibly read-only) folder.
  constexpr std::string_view kProgramMacro = "$(Program)";
  if (!programFolder.empty() && value.substr(0, kProgramMacro.size()) == kProgramMacro)
    return Inside(FolderText(programFolder), WithoutLeadingSeparators(value.substr(kProgramMacro.size())));
  std::string folder = NormalizeSeparators(directory);
  if (!folder.empty() && folder.back() == '/') folder.pop_back();
  if (value.empty()) return {};
  // ".\\x" is the directory followed by "\\x". Without a separator after
  // the dot ("..\\x", ".x") the spelled-out join would name a sibling of the
  // directory, which is outside it.
  if (value.front() == '.') {
    const std::string_view rest = value.substr(1);
    if (rest.empty() || (rest.front() != '/' && rest.front() != '\\')) return {};
    return Inside(folder, WithoutLeadingSeparators(rest));
  }
  // A plain relative value is taken against the template directory rather
  // than against whatever the current directory happens to be.
  return Inside(folder, value);
}

std::string ResolveConfigDirectory(std::string_view value, const LibraryEnvironment& environment) {
  std::string directory(value);
  if (!directory.empty() && directory.front() == '.')
    directory = FolderText(environment.programFolder) + directory.substr(1);
  ReplaceFirst(directory, "$(Documents)", FolderText(environment.documents));
  ReplaceFirst(directory, "$(AppData)", FolderText(environment.appData));
  return AnchorToProgramFolder(std::move(directory), environment);
}

std::string ResolveConfigInitFile(std::string_view value, const LibraryEnvironment& environment) {
  std::string file(value);
  if (!file.empty() && file.front() == '.') file = FolderText(environment.programFolder) + file.substr(1);
  return AnchorToProgramFolder(std::move(file), environment);
}

bool CreateFoldersAlong(const std::string& path) {
  const std::string normal = NormalizeSeparators(path);
  size_t separator = normal.find('/');
  if (separator == std::string::npos) return true;
  while ((separator = normal.find('/', separator + 1)) != std::string::npos) {
    const std::string prefix = normal.substr(0, separator);
    if (prefix.empty() || prefix.back() == '/') continue;
    std::error_code ec;
    if (fs::exists(prefix, ec)) continue;
    if (!fs::create_directory(prefix, ec) || ec) return false;
  }
  return true;
}

bool LoadXmlFile(tinyxml2::XMLDocument& document, const fs::path& path, std::string* error) {
  return LoadXmlDocumentFile(document, path, XmlLimits{}, error);
}

bool SaveXmlFile(const tinyxml2::XMLDocument& document, const fs::path& path, std::string* error) {
  tinyxml2::XMLPrinter printer;
  // The printer starts with the byte order mark when the document was read with one.
  document.Print(&printer);
  const int size = printer.CStrSize();
  return WriteFileAtomically(path, std::string_view(printer.CStr(), size > 0 ? static_cast<size_t>(size - 1) : 0),
                             error);
}

}  // namespace grinsnap
