#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <tinyxml2.h>

namespace grinsnap {

class CLanguage;
class TemplateDocument;

// The folders and the version number the library files are read against.
// Current() gives the real ones; tests point them elsewhere.
struct LibraryEnvironment {
  std::filesystem::path programFolder;  // holds config.cfg and the shipped "thumb" folder
  std::filesystem::path documents;      // replaces "$(Documents)"
  std::filesystem::path appData;        // replaces "$(AppData)": the per-user data base folder
  int programVersion = 0;               // compared with the `ver` attributes

  static LibraryEnvironment Current();
};

// Flags of a template entry that live as 0/1 attributes of its element.
enum class TemplateFlag { Preset, Online, Downloaded, Hide };

// One template of the gallery. The entry's element lives in its directory's
// template.cfg document, which the library keeps; flag changes are written
// into it so that they reach the file at write-back.
class TemplateEntry {
public:
  // The parsed template document; null for an online template that is not
  // downloaded.
  std::shared_ptr<TemplateDocument> document;
  tinyxml2::XMLElement* element = nullptr;  // not owned
  std::string name;       // the element's name, else the document's template name
  std::string filePath;   // resolved path of the template document
  std::string directory;  // template directory, with its trailing separator
  std::string url;        // download address of an online template
  std::filesystem::path programFolder;  // what "$(Program)" stands for in its paths
  bool preset = false;
  bool online = false;
  bool downloaded = false;
  bool hide = false;

  bool Flag(TemplateFlag flag) const;
  // The folder the template document's resources are relative to.
  std::filesystem::path DocumentFolder() const;
  // The thumbnail shown while the template is not installed (the resolved
  // `thumb` attribute); empty when the element has none or it would leave
  // its folder.
  std::string ThumbPath() const;
  // The name as the gallery shows it: translated through the language
  // file's dictionary when a language is given.
  std::string DisplayName(const CLanguage* language) const;
};

// A gallery column: the templates of one group, gathered from every
// template directory that has a column with this path.
class TemplateColumn {
public:
  std::string name;  // referred to by `column` in the templates section
  std::string path;  // merge key and gallery group path
  std::vector<std::unique_ptr<TemplateEntry>> entries;
};

// The gallery's content: config.cfg names the template directories, each
// directory's template.cfg sorts its templates into columns. The template.cfg
// documents stay loaded while the library lives and are written back by
// WriteBack.
class TemplateLibrary {
public:
  TemplateLibrary();
  ~TemplateLibrary();
  TemplateLibrary(const TemplateLibrary&) = delete;
  TemplateLibrary& operator=(const TemplateLibrary&) = delete;

  // Reads environment.programFolder/config.cfg and every directory it lists,
  // merging a shipped initial file first where one is named. False when
  // config.cfg is missing or does not parse (the library stays empty).
  bool Read(const LibraryEnvironment& environment);
  // Reads one template directory (with its trailing separator): creates its
  // folders, merges initFile into it when given, then loads its template.cfg.
  // When the merged list cannot be written (a read-only or missing home), it
  // is used from memory and the problem reported (ReportUserDataProblem).
  // False when there is no usable template.cfg.
  bool ReadDirectory(const std::string& directory, const std::filesystem::path& initFile,
                     const LibraryEnvironment& environment);

  size_t ColumnCount() const { return columns_.size(); }
  std::string ColumnPath(size_t index) const;
  const std::vector<std::unique_ptr<TemplateColumn>>& Columns() const { return columns_; }
  TemplateColumn* Column(size_t index) { return index < columns_.size() ? columns_[index].get() : nullptr; }
  const std::vector<std::string>& Directories() const { return directories_; }

  // Writes the flag into the entry's element as "0"/"1" and sets it.
  static void SetFlag(TemplateEntry& entry, TemplateFlag flag, bool value);
  // Writes the element's `filepath` (as given) and the entry's resolved path.
  static void SetFilePath(TemplateEntry& entry, const std::string& filePath);

  // Writes every template.cfg document back to its directory; a directory
  // whose file cannot be written is skipped and the result is false. error
  // then receives one line per file that failed: which file, and why.
  bool WriteBack(std::string* error = nullptr) const;
  // Frees the columns, entries, documents and directories.
  void Release();

private:
  void ReadEntry(tinyxml2::XMLElement& element, const std::string& directory, TemplateColumn& column);
  TemplateColumn* ColumnByPath(const std::string& path);
  TemplateColumn* ColumnByName(const std::string& name);

  std::vector<std::unique_ptr<TemplateColumn>> columns_;
  // Lookups by path and by name; a list may hold many thousands of columns.
  std::unordered_map<std::string, TemplateColumn*> columnsByPath_;
  std::unordered_map<std::string, TemplateColumn*> columnsByName_;
  std::vector<std::unique_ptr<tinyxml2::XMLDocument>> documents_;
  std::vector<std::string> directories_;  // parallel to documents_
  // Parallel to documents_: false for a list used from memory because the
  // user's file could not be read; writing it back would replace that file.
  std::vector<bool> writeBack_;
  std::filesystem::path programFolder_;   // for "$(Program)" in filepath
};

// --- Helpers shared by the library, the merge and the download ---

inline constexpr const char* kConfigFileName = "config.cfg";
// The message shown when the library cannot be written back at exit.
inline constexpr const char* kSaveLibraryErrorText = "Save template library error!";
inline constexpr const char* kTemplateFileName = "template.cfg";

// A leading decimal integer as the template files write them; 0 when
// absent or unreadable.
int ParseLeadingInt(const char* text);
int IntAttribute(const tinyxml2::XMLElement& element, const char* name);

// A path attribute of template.cfg: a value beginning with "." is relative
// to the template directory (the directory without its trailing separator,
// then the value without its first character), and so is a plain relative
// value. A value beginning with "$(Program)" is taken in the program
// folder, when one is given. Separators come out as '/'.
// The path must stay inside its folder: an absolute value, or one that
// climbs out with "..", gives an empty string.
std::string ResolveTemplatePath(const std::string& directory, std::string_view value,
                                const std::filesystem::path& programFolder = {});

// A directory of config.cfg: a leading "." stands for the program folder,
// then the first "$(Documents)" and the first "$(AppData)" are replaced. A
// value that is still relative is taken against the program folder.
std::string ResolveConfigDirectory(std::string_view value, const LibraryEnvironment& environment);
// The init_file of config.cfg: only the leading-dot rule applies.
std::string ResolveConfigInitFile(std::string_view value, const LibraryEnvironment& environment);

// Creates every folder along a path: the prefix before each separator after
// the first, stopping at the first failure.
bool CreateFoldersAlong(const std::string& path);

// What MergeInitialTemplateFile did.
enum class MergeResult {
  NoInitialFile,  // the initial file is missing or does not parse; nothing touched
  UpToDate,       // the user's file was merged by this or a later version; left as it is
  Merged,         // the merged file replaced the user's file
  WriteFailed,    // merging worked but the user's file could not be replaced
  UserFileKept,   // the user's file cannot be read (too large, not a regular file): it is left as it is
};

// Merges the shipped initial file into the user's template.cfg of a
// directory on first run and after an upgrade: shipped entries replace the
// user's entries of the same name only when their `ver` is higher, the
// user's entries that the shipped file does not name (downloaded or added
// templates) are kept, the shipped thumbnails are copied into place, and the
// merged file replaces the user's file.
// A user's file that does not parse is kept beside it (DamagedListBackupPath)
// and the entries that can still be read from it are merged; one that cannot
// be read at all (too large, not a regular file) is left as it is.
// When unsaved is given and the merged file cannot be written (or the
// user's file is kept), it receives the merged document and the reason, so
// that the list can still be used.
struct UnsavedTemplateList {
  tinyxml2::XMLDocument document;
  std::string error;
};
MergeResult MergeInitialTemplateFile(const std::string& directory, const std::filesystem::path& initFile,
                                     const std::filesystem::path& userFile, const LibraryEnvironment& environment,
                                     UnsavedTemplateList* unsaved = nullptr);

// Where a damaged user list is kept: "template.cfg.bad", or ".bad.2",
// ".bad.3", ... when earlier backups are there.
std::filesystem::path DamagedListBackupPath(const std::filesystem::path& userFile);

// The template entries that can still be read from the text of a damaged
// template.cfg: every complete `template` tag inside `columns` (under the
// last complete `column` tag) or inside `templates`, put into a fresh list
// of the same layout. False when nothing could be read.
bool SalvageTemplateList(std::string_view text, tinyxml2::XMLDocument& salvaged);

// Loads an XML file (a regular file of at most 16 MB; UTF-16 is read as
// UTF-8); false, with the reason in error, when it cannot be read or does
// not parse.
bool LoadXmlFile(tinyxml2::XMLDocument& document, const std::filesystem::path& path, std::string* error = nullptr);
// Writes a document with the XML library's printer (after a byte order mark
// when it was read with one), replacing the file atomically; error says why
// it failed.
bool SaveXmlFile(const tinyxml2::XMLDocument& document, const std::filesystem::path& path,
                 std::string* error = nullptr);

}  // namespace grinsnap
