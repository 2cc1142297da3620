#include <string>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "app/template_library.h"
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
void CopyShippedThumbnail(const std::string& thumb, const std::string& directory,
                          const LibraryEnvironment& environment) {
  const std::string normal = NormalizeSeparators(thumb);
  const std::string fileName = normal.substr(normal.rfind('/') + 1);
  if (fileName.empty()) return;
  const std::string target = ResolveTemplatePath(directory, thumb);
  CreateFoldersAlong(target);
  std::error_code ec;
  fs::copy_file(environment.programFolder / "thumb" / fileName, target, fs::copy_options::overwrite_existing, ec);
}

}  // namespace

MergeResult MergeInitialTemplateFile(const std::string& directory, const fs::path& initFile, const fs::path& userFile,
                                     const LibraryEnvironment& environment, UnsavedTemplateList* unsaved) {
  tinyxml2::XMLDocument initial;
  if (!LoadXmlFile(initial, initFile)) return MergeResult::NoInitialFile;
  XMLElement* initialRoot = initial.FirstChildElement();

  tinyxml2::XMLDocument user;
  std::error_code ec;
  const bool userLoaded = fs::exists(userFile, ec) && LoadXmlFile(user, userFile);
  int userVersion = 0;
  if (userLoaded) {
    const XMLElement* version = user.FirstChildElement()->FirstChildElement("version");
    userVersion = version ? IntAttribute(*version, "ver") : 0;
  }

  XMLElement* version = initialRoot->FirstChildElement("version");
  if (!version) {
    version = initial.NewElement("version");
    initialRoot->InsertEndChild(version);
  }
  version->SetAttribute("ver", std::to_string(environment.programVersion).c_str());

  if (userLoaded && userVersion >= environment.programVersion) return MergeResult::UpToDate;

  // The user's entries by name; a later duplicate replaces an earlier one.
  std::unordered_map<std::string, XMLElement*> userEntries;
  for (XMLElement* element : TemplateElements(userLoaded ? user.FirstChildElement() : nullptr)) {
    if (const char* name = element->Attribute("name")) userEntries[name] = element;
  }

  for (XMLElement* shipped : TemplateElements(initialRoot)) {
    XMLElement* kept = shipped;
    const char* name = shipped->Attribute("name");
    const auto found = name ? userEntries.find(name) : userEntries.end();
    if (found != userEntries.end() && IntAttribute(*found->second, "ver") >= IntAttribute(*shipped, "ver")) {
      // The user's entry keeps its downloaded, hide and filepath values
      // unless the shipped entry is a newer revision.
      XMLElement* copy = found->second->DeepClone(&initial)->ToElement();
      tinyxml2::XMLNode* parent = shipped->Parent();
      parent->InsertAfterChild(shipped, copy);
      parent->DeleteChild(shipped);
      kept = copy;
    }
    const char* thumb = kept->Attribute("thumb");
    if (thumb && *thumb) CopyShippedThumbnail(thumb, directory, environment);
  }

  std::string error;
  if (SaveXmlFile(initial, userFile, &error)) return MergeResult::Merged;
  if (unsaved) {
    initial.DeepCopy(&unsaved->document);
    unsaved->error = std::move(error);
  }
  return MergeResult::WriteFailed;
}

}  // namespace grinsnap
