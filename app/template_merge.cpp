#include <string>
#include <system_error>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app/atomic_file.h"
#include "app/template_library.h"
#include "core/xml_document.h"
#include "platform/paths.h"

namespace fs = std::filesystem;
using tinyxml2::XMLElement;

namespace grinsnap {
namespace {

// Every `template` element of a template.cfg root: those in the columns,
// column by column, then those of the templates section.
std::vector<XMLElement*> TemplateElements(XMLElement* root) {
  std::vector<XMLElement*> found;
  if (!root) return found;
  if (XMLElement* columns = root->FirstChildElement("columns")) {
    for (XMLElement* column = columns->FirstChildElement("column"); column;
         column = column->NextSiblingElement("column")) {
      for (XMLElement* t = column->FirstChildElement("template"); t; t = t->NextSiblingElement("template"))
        found.push_back(t);
    }
  }
  if (XMLElement* templates = root->FirstChildElement("templates")) {
    for (XMLElement* t = templates->FirstChildElement("template"); t; t = t->NextSiblingElement("template"))
      found.push_back(t);
  }
  return found;
}

// Copies the shipped thumbnail of the same file name (from "thumb" in the
// program folder) to where the entry's `thumb` points. Failures are ignored:
// the gallery then shows no picture for a template that is not installed.
// A `thumb` that would leave the template directory is not written.
void CopyShippedThumbnail(const std::string& thumb, const std::string& directory,
                          const LibraryEnvironment& environment) {
  const std::string normal = NormalizeSeparators(thumb);
  const std::string fileName = normal.substr(normal.rfind('/') + 1);
  if (fileName.empty() || fileName == "." || fileName == "..") return;
  const std::string target = ResolveTemplatePath(directory, thumb);
  if (target.empty()) return;
  CreateFoldersAlong(target);
  std::error_code ec;
  fs::copy_file(environment.programFolder / "thumb" / fileName, target, fs::copy_options::overwrite_existing, ec);
}

XMLElement* ChildCreated(XMLElement& parent, const char* name) {
  if (XMLElement* child = parent.FirstChildElement(name)) return child;
  return parent.InsertNewChildElement(name);
}

// The columns of the merged list by name and by path (a list may hold very
// many), and the user's columns by name.
class ColumnIndex {
public:
  explicit ColumnIndex(XMLElement& root) : root_(root) {
    if (XMLElement* columns = root.FirstChildElement("columns"))
      for (XMLElement* column = columns->FirstChildElement("column"); column;
           column = column->NextSiblingElement("column"))
        Add(column);
  }

  // The column of the merged list that a user's column element stands for:
  // the one of the same name, else of the same path, else a new empty copy
  // of the user's column at the end.
  XMLElement* For(const XMLElement& userColumn) {
    for (const auto& [key, map] : {std::pair{"name", &byName_}, std::pair{"path", &byPath_}}) {
      const char* wanted = userColumn.Attribute(key);
      if (!wanted) continue;
      const auto found = map->find(wanted);
      if (found != map->end()) return found->second;
    }
    XMLElement* column = ChildCreated(root_, "columns")->InsertNewChildElement("column");
    for (const tinyxml2::XMLAttribute* a = userColumn.FirstAttribute(); a; a = a->Next())
      column->SetAttribute(a->Name(), a->Value());
    Add(column);
    return column;
  }

private:
  void Add(XMLElement* column) {
    if (const char* name = column->Attribute("name")) byName_.emplace(name, column);
    if (const char* path = column->Attribute("path")) byPath_.emplace(path, column);
  }

  XMLElement& root_;
  std::unordered_map<std::string, XMLElement*> byName_;
  std::unordered_map<std::string, XMLElement*> byPath_;
};

// The user's entries that the shipped list does not name (templates the
// user downloaded or added) go into the merged list: those of a column into
// the matching column, those of the templates section into that section,
// together with the user's column they refer to when the shipped list has
// none of that name.
void CarryOverUserEntries(tinyxml2::XMLDocument& merged, XMLElement* userRoot,
                          const std::unordered_set<std::string>& shippedNames) {
  if (!userRoot) return;
  XMLElement* root = merged.FirstChildElement();
  ColumnIndex index(*root);
  auto own = [&](const XMLElement& element) {
    const char* name = element.Attribute("name");
    return !name || !shippedNames.count(name);
  };
  std::unordered_map<std::string, const XMLElement*> userColumnsByName;
  if (XMLElement* columns = userRoot->FirstChildElement("columns")) {
    for (XMLElement* column = columns->FirstChildElement("column"); column;
         column = column->NextSiblingElement("column")) {
      if (const char* name = column->Attribute("name")) userColumnsByName.emplace(name, column);
      XMLElement* target = nullptr;
      for (XMLElement* t = column->FirstChildElement("template"); t; t = t->NextSiblingElement("template")) {
        if (!own(*t)) continue;
        if (!target) target = index.For(*column);
        target->InsertEndChild(t->DeepClone(&merged));
      }
    }
  }
  if (XMLElement* templates = userRoot->FirstChildElement("templates")) {
    for (XMLElement* t = templates->FirstChildElement("template"); t; t = t->NextSiblingElement("template")) {
      if (!own(*t)) continue;
      if (const char* columnName = t->Attribute("column")) {
        const auto userColumn = userColumnsByName.find(columnName);
        if (userColumn != userColumnsByName.end()) index.For(*userColumn->second);
      }
      ChildCreated(*root, "templates")->InsertEndChild(t->DeepClone(&merged));
    }
  }
}

// The text of one start tag as an element of its own, or null when it does
// not parse or has too many attributes to be a template entry.
XMLElement* ParseStartTag(tinyxml2::XMLDocument& into, std::string_view tag) {
  std::string text(tag);
  if (text.size() >= 2 && text[text.size() - 2] != '/') text.insert(text.size() - 1, "/");
  tinyxml2::XMLDocument single;
  if (MostAttributesOnOneElement(text) > XmlLimits{}.maxAttributes) return nullptr;
  if (single.Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS || !single.RootElement()) return nullptr;
  return single.RootElement()->ShallowClone(&into)->ToElement();
}

}  // namespace

bool SalvageTemplateList(std::string_view text, tinyxml2::XMLDocument& salvaged) {
  salvaged.Clear();
  XMLElement* root = salvaged.NewElement("library");
  salvaged.InsertEndChild(root);
  enum class Section { kNone, kColumns, kTemplates } section = Section::kNone;
  XMLElement* column = nullptr;
  int found = 0;
  size_t i = 0;
  while (i < text.size()) {
    const size_t open = text.find('<', i);
    if (open == std::string_view::npos) break;
    i = open + 1;
    if (text.substr(i, 3) == "!--") {
      const size_t end = text.find("-->", i);
      i = end == std::string_view::npos ? text.size() : end + 3;
      continue;
    }
    // The tag runs to the first '>' outside a quoted value; a tag cut short
    // by the damage ends the salvage.
    char quote = 0;
    size_t close = i;
    for (; close < text.size(); ++close) {
      const char c = text[close];
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '>' || c == '<') {
        break;
      }
    }
    if (close >= text.size()) break;
    if (text[close] == '<') {
      i = close;  // a stray '<' inside a tag: start again from the next one
      continue;
    }
    const std::string_view tag = text.substr(open, close + 1 - open);
    i = close + 1;
    auto named = [&](std::string_view name) {
      return tag.size() > name.size() + 1 && tag.substr(1, name.size()) == name &&
             std::string_view(" \t\r\n/>").find(tag[name.size() + 1]) != std::string_view::npos;
    };
    if (named("/columns") || named("/templates")) {
      section = Section::kNone;
      column = nullptr;
    } else if (named("/column")) {
      column = nullptr;
    } else if (named("columns")) {
      section = Section::kColumns;
    } else if (named("templates")) {
      section = Section::kTemplates;
      column = nullptr;
    } else if (named("column") && section == Section::kColumns) {
      column = ParseStartTag(salvaged, tag);
      if (column) ChildCreated(*root, "columns")->InsertEndChild(column);
      if (column && tag[tag.size() - 2] == '/') column = nullptr;
    } else if (named("template") && section != Section::kNone) {
      XMLElement* entry = ParseStartTag(salvaged, tag);
      if (!entry) continue;
      if (section == Section::kColumns && column) {
        column->InsertEndChild(entry);
      } else if (section == Section::kTemplates) {
        ChildCreated(*root, "templates")->InsertEndChild(entry);
      } else {
        salvaged.DeleteNode(entry);
        continue;
      }
      ++found;
    }
  }
  return found > 0;
}

MergeResult MergeInitialTemplateFile(const std::string& directory, const fs::path& initFile, const fs::path& userFile,
                                     const LibraryEnvironment& environment, UnsavedTemplateList* unsaved) {
  tinyxml2::XMLDocument initial;
  if (!LoadXmlFile(initial, initFile)) return MergeResult::NoInitialFile;
  XMLElement* initialRoot = initial.FirstChildElement();

  auto keepInMemory = [&](std::string error, MergeResult result = MergeResult::WriteFailed) {
    if (unsaved) {
      initial.DeepCopy(&unsaved->document);
      unsaved->error = std::move(error);
    }
    return result;
  };

  XMLElement* version = initialRoot->FirstChildElement("version");
  if (!version) {
    version = initial.NewElement("version");
    initialRoot->InsertEndChild(version);
  }
  version->SetAttribute("ver", std::to_string(environment.programVersion).c_str());

  tinyxml2::XMLDocument user;
  std::error_code ec;
  const bool userExists = fs::symlink_status(userFile, ec).type() != fs::file_type::not_found && !ec;
  bool userLoaded = false;
  bool userDamaged = false;
  if (userExists) {
    std::string bytes;
    std::string reason;
    if (!ReadWholeFile(userFile, bytes, kMaxDataFileBytes, &reason)) {
      // Whatever is there (a file too large, a FIFO, a folder) is not
      // replaced: this run works from the shipped list in memory.
      return keepInMemory(reason + "; it is left as it is", MergeResult::UserFileKept);
    }
    std::string parseError;
    userLoaded = ParseXmlText(user, bytes, XmlLimits{}, &parseError);
    if (!userLoaded) {
      // A damaged list: keep it beside the new one, and take over the
      // entries that can still be read from it.
      userDamaged = true;
      const fs::path backup = DamagedListBackupPath(userFile);
      std::string backupError;
      if (!WriteFileAtomically(backup, bytes, &backupError))
        return keepInMemory(userFile.string() + " is damaged (" + parseError + ") and cannot be backed up: " +
                            backupError);
      SalvageTemplateList(bytes, user);
    }
  }
  int userVersion = 0;
  if (userLoaded) {
    const XMLElement* userVersionElement = user.FirstChildElement()->FirstChildElement("version");
    userVersion = userVersionElement ? IntAttribute(*userVersionElement, "ver") : 0;
  }
  if (userLoaded && userVersion >= environment.programVersion) return MergeResult::UpToDate;
  XMLElement* userRoot = (userLoaded || userDamaged) ? user.FirstChildElement() : nullptr;

  // The user's entries by name; a later duplicate replaces an earlier one.
  std::unordered_map<std::string, XMLElement*> userEntries;
  for (XMLElement* element : TemplateElements(userRoot)) {
    if (const char* name = element->Attribute("name")) userEntries[name] = element;
  }

  std::unordered_set<std::string> shippedNames;
  for (XMLElement* shipped : TemplateElements(initialRoot)) {
    XMLElement* kept = shipped;
    const char* name = shipped->Attribute("name");
    if (name) shippedNames.insert(name);
    const auto found = name ? userEntries.find(name) : userEntries.end();
    if (found != userEntries.end() && IntAttribute(*found->second, "ver") >= IntAttribute(*shipped, "ver")) {
      // The user's entry keeps its downloaded, hide and filepath values
      // unless the shipped entry is a newer revision.
      XMLElement* copy = found->second->DeepClone(&initial)->ToElement();
      tinyxml2::XMLNode* parent = shipped->Parent();
      parent->InsertAfterChild(shipped, copy);
      parent->DeleteChild(shipped);
      kept = copy;
    } else if (found != userEntries.end()) {
      // A newer revision replaces the entry, but a template the user hid
      // stays hidden: that choice is the user's, not the revision's.
      if (const char* hide = found->second->Attribute("hide")) shipped->SetAttribute("hide", hide);
    }
    const char* thumb = kept->Attribute("thumb");
    if (thumb && *thumb) CopyShippedThumbnail(thumb, directory, environment);
  }
  CarryOverUserEntries(initial, userRoot, shippedNames);

  std::string error;
  if (SaveXmlFile(initial, userFile, &error)) return MergeResult::Merged;
  return keepInMemory(std::move(error));
}

fs::path DamagedListBackupPath(const fs::path& userFile) {
  // An earlier backup is not overwritten: each damaged list is kept.
  const fs::path first = userFile.string() + ".bad";
  std::error_code ec;
  if (fs::symlink_status(first, ec).type() == fs::file_type::not_found) return first;
  for (int n = 2; n < 100; ++n) {
    const fs::path numbered = first.string() + "." + std::to_string(n);
    if (fs::symlink_status(numbered, ec).type() == fs::file_type::not_found) return numbered;
  }
  return first;
}

}  // namespace grinsnap
