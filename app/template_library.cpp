#include "app/template_library.h"

#include <system_error>

#include "app/language.h"
#include "core/template_document.h"
#include "platform/folders.h"

namespace fs = std::filesystem;
using tinyxml2::XMLElement;

namespace grinsnap {
namespace {

const char* FlagAttribute(TemplateFlag flag) {
  switch (flag) {
    case TemplateFlag::Preset: return "preset";
    case TemplateFlag::Online: return "online";
    case TemplateFlag::Downloaded: return "downloaded";
    case TemplateFlag::Hide: return "hide";
  }
  return "";
}

// The member behind a flag, const or not as the entry is.
template <typename Entry>
auto& FlagMember(Entry& entry, TemplateFlag flag) {
  switch (flag) {
    case TemplateFlag::Preset: return entry.preset;
    case TemplateFlag::Online: return entry.online;
    case TemplateFlag::Downloaded: return entry.downloaded;
    case TemplateFlag::Hide: break;
  }
  return entry.hide;
}

}  // namespace

// --- TemplateEntry ---

bool TemplateEntry::Flag(TemplateFlag flag) const {
  return FlagMember(*this, flag);
}

fs::path TemplateEntry::DocumentFolder() const { return fs::path(filePath).parent_path(); }

std::string TemplateEntry::ThumbPath() const {
  const char* thumb = element ? element->Attribute("thumb") : nullptr;
  return (thumb && *thumb) ? ResolveTemplatePath(directory, thumb, programFolder) : std::string();
}

std::string TemplateEntry::DisplayName(const CLanguage* language) const {
  return language ? language->Translate(name) : name;
}

// --- TemplateLibrary ---

TemplateLibrary::TemplateLibrary() = default;

TemplateLibrary::~TemplateLibrary() { Release(); }

bool TemplateLibrary::Read(const LibraryEnvironment& environment) {
  Release();
  tinyxml2::XMLDocument config;
  if (!LoadXmlFile(config, environment.programFolder / kConfigFileName)) return false;
  const XMLElement* root = config.FirstChildElement();
  for (const XMLElement* t = root->FirstChildElement("template"); t; t = t->NextSiblingElement("template")) {
    const char* directory = t->Attribute("directory");
    if (!directory || !*directory) continue;
    const char* initFile = t->Attribute("init_file");
    ReadDirectory(ResolveConfigDirectory(directory, environment),
                  (initFile && *initFile) ? fs::path(ResolveConfigInitFile(initFile, environment)) : fs::path(),
                  environment);
  }
  return true;
}

bool TemplateLibrary::ReadDirectory(const std::string& directory, const fs::path& initFile,
                                    const LibraryEnvironment& environment) {
  programFolder_ = environment.programFolder;
  CreateFoldersAlong(directory);
  // "template.cfg" is appended to the directory as it is written, which is
  // why config.cfg directories end in a separator.
  const fs::path userFile = directory + kTemplateFileName;
  auto document = std::make_unique<tinyxml2::XMLDocument>();
  UnsavedTemplateList unsaved;
  const MergeResult merged = initFile.empty() ? MergeResult::NoInitialFile
                                              : MergeInitialTemplateFile(directory, initFile, userFile, environment,
                                                                         &unsaved);
  if (merged == MergeResult::WriteFailed || merged == MergeResult::UserFileKept) {
    // The user's copy cannot be written (or read): this run works from the
    // merged list in memory, with the gallery the program ships.
    unsaved.document.DeepCopy(document.get());
    ReportUserDataProblem(userFile, unsaved.error);
  } else {
    std::error_code ec;
    if (!fs::exists(userFile, ec)) return false;
    if (!LoadXmlFile(*document, userFile)) return false;
  }
  XMLElement* root = document->FirstChildElement();
  documents_.push_back(std::move(document));
  directories_.push_back(directory);
  writeBack_.push_back(merged != MergeResult::UserFileKept);

  if (XMLElement* columns = root->FirstChildElement("columns")) {
    for (XMLElement* element = columns->FirstChildElement("column"); element;
         element = element->NextSiblingElement("column")) {
      const char* name = element->Attribute("name");
      const char* path = element->Attribute("path");
      if (!name || !path) continue;
      TemplateColumn* column = ColumnByPath(path);
      if (!column) {
        columns_.push_back(std::make_unique<TemplateColumn>());
        column = columns_.back().get();
        column->name = name;
        column->path = path;
        columnsByPath_.emplace(column->path, column);
        // A name refers to the first column that has it.
        columnsByName_.emplace(column->name, column);
      }
      for (XMLElement* t = element->FirstChildElement("template"); t; t = t->NextSiblingElement("template"))
        ReadEntry(*t, directory, *column);
    }
  }
  if (XMLElement* templates = root->FirstChildElement("templates")) {
    for (XMLElement* t = templates->FirstChildElement("template"); t; t = t->NextSiblingElement("template")) {
      const char* columnName = t->Attribute("column");
      // Only columns known by now count: a column that a later directory
      // brings does not take entries from an earlier one.
      TemplateColumn* column = columnName ? ColumnByName(columnName) : nullptr;
      if (column) ReadEntry(*t, directory, *column);
    }
  }
  return true;
}

void TemplateLibrary::ReadEntry(XMLElement& element, const std::string& directory, TemplateColumn& column) {
  auto entry = std::make_unique<TemplateEntry>();
  const char* name = element.Attribute("name");
  entry->element = &element;
  entry->name = name ? name : "";
  entry->directory = directory;
  entry->programFolder = programFolder_;
  entry->preset = IntAttribute(element, "preset") != 0;
  entry->online = IntAttribute(element, "online") != 0;
  entry->downloaded = IntAttribute(element, "downloaded") != 0;
  entry->hide = IntAttribute(element, "hide") != 0;

  if (entry->online) {
    const char* url = element.Attribute("url");
    if (!url) return;
    entry->url = url;
  }

  const char* filePath = element.Attribute("filepath");
  if (filePath && *filePath) {
    entry->filePath = ResolveTemplatePath(directory, filePath, programFolder_);
    if (entry->filePath.empty()) {
      // A path that leaves its folder is not followed. The element stays as
      // it is: the entry is left out, or offered for download again.
      if (!entry->online) return;
      entry->downloaded = false;
      column.entries.push_back(std::move(entry));
      return;
    }
    std::error_code ec;
    if (fs::exists(entry->filePath, ec)) {
      entry->document = TemplateDocument::FromFile(entry->filePath);
      if (!entry->document) return;
      if (!name) {
        const char* documentName = entry->document->DisplayName();
        entry->name = documentName ? documentName : "";
      }
    } else {
      if (!entry->online) return;
      // The package of a downloaded template is gone: offer it for download again.
      if (entry->downloaded) {
        SetFlag(*entry, TemplateFlag::Downloaded, false);
        element.SetAttribute("filepath", "");
      }
    }
  } else {
    if (!entry->online) return;
    if (entry->downloaded) SetFlag(*entry, TemplateFlag::Downloaded, false);
  }
  column.entries.push_back(std::move(entry));
}

TemplateColumn* TemplateLibrary::ColumnByPath(const std::string& path) {
  const auto found = columnsByPath_.find(path);
  return found == columnsByPath_.end() ? nullptr : found->second;
}

TemplateColumn* TemplateLibrary::ColumnByName(const std::string& name) {
  const auto found = columnsByName_.find(name);
  return found == columnsByName_.end() ? nullptr : found->second;
}

std::string TemplateLibrary::ColumnPath(size_t index) const {
  return index < columns_.size() ? columns_[index]->path : std::string();
}

void TemplateLibrary::SetFlag(TemplateEntry& entry, TemplateFlag flag, bool value) {
  if (entry.element) entry.element->SetAttribute(FlagAttribute(flag), value ? "1" : "0");
  FlagMember(entry, flag) = value;
}

void TemplateLibrary::SetFilePath(TemplateEntry& entry, const std::string& filePath) {
  if (entry.element) entry.element->SetAttribute("filepath", filePath.c_str());
  entry.filePath = filePath.empty() ? std::string() : ResolveTemplatePath(entry.directory, filePath);
}

bool TemplateLibrary::WriteBack(std::string* error) const {
  bool ok = true;
  if (error) error->clear();
  for (size_t i = 0; i < documents_.size(); ++i) {
    if (!writeBack_[i]) continue;
    std::string reason;
    if (SaveXmlFile(*documents_[i], directories_[i] + kTemplateFileName, &reason)) continue;
    ok = false;
    if (error) *error += (error->empty() ? "" : "\n") + reason;
  }
  return ok;
}

void TemplateLibrary::Release() {
  // Entries point into the documents: they go first.
  columnsByPath_.clear();
  columnsByName_.clear();
  columns_.clear();
  documents_.clear();
  directories_.clear();
  writeBack_.clear();
}

}  // namespace grinsnap
