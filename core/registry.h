#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/data_object.h"

namespace tinyxml2 {
class XMLElement;
}

namespace grinsnap {

class CImageFilter;
class CEffectTemplate;
class COptionPanel;
class CProcessEngine;
class PaneHost;

using DataObjectCreator = CImageDataObject* (*)();

// Registers a creator under a name. A later registration under the same name
// replaces the earlier one. Returns the creator, so that it can initialise a
// static object.
DataObjectCreator RegisterDataObjectClass(const char* name, DataObjectCreator creator);

// Creates the object registered under name; null for an unknown or null name.
std::unique_ptr<CImageDataObject> CreateDataObject(const char* name);

// Every registered name, sorted.
std::vector<std::string> RegisteredClassNames();

// Registers T under T::kClassName.
template <typename T>
void RegisterClass() {
  RegisterDataObjectClass(T::kClassName, []() -> CImageDataObject* { return new T(); });
}

// Creates a filter by name and runs its creation sequence: element,
// variables, shareSources, folder, Load. Null when the name is not a
// registered filter.
std::unique_ptr<CImageFilter> CreateFilterFromXml(const char* className,
                                                  const tinyxml2::XMLElement* element,
                                                  const std::filesystem::path& folder,
                                                  bool shareSources, const float* paramBlock);

// Creates and loads a template under the template-creation lock. The display
// name stays owned by the XML document. Null when the name is not a
// registered template. The result holds one reference, owned by the caller.
CEffectTemplate* CreateTemplate(const char* className, const char* displayName,
                                const tinyxml2::XMLElement* element,
                                const std::filesystem::path& folder,
                                CProcessEngine* engine = nullptr);

// Creates an option pane by name; null for an unknown name or for an object
// that is not an option pane.
COptionPanel* CreateOptionPane(const char* name, PaneHost* parentWindow, CEffectTemplate* owner);

// Templates are created by the GUI thread and by the gallery's thumbnail
// thread; creation including Load runs under this lock.
std::mutex& TemplateCreationLock();

}  // namespace grinsnap
