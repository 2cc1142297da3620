#pragma once

#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "core/data_object.h"

namespace tinyxml2 {
class XMLElement;
}

namespace grinsnap {

class CEffectTemplate;
class COptionPanel;
class CProcessEngine;
class PaneHost;

using DataObjectCreator = CImageDataObject* (*)();

// Registers a creator under a name. A later registration under the same name
// replaces the earlier one; when it brings another class, the name is also
// recorded as a conflict (see RegistryConflicts). Returns the creator.
DataObjectCreator RegisterDataObjectClass(const char* name, DataObjectCreator creator);

// Creates the object registered under name; null for an unknown or null name.
std::unique_ptr<CImageDataObject> CreateDataObject(const char* name);

// Takes ownership of an object made by name only when it is a T.
template <typename T>
std::unique_ptr<T> TakeAs(std::unique_ptr<CImageDataObject> object) {
  if (T* typed = dynamic_cast<T*>(object.get())) {
    object.release();
    return std::unique_ptr<T>(typed);
  }
  return nullptr;
}

// Every registered name, sorted.
std::vector<std::string> RegisteredClassNames();

// Names that two different classes were registered under. Empty in a sound
// build: a second class under a taken name silently replaces the first.
std::vector<std::string> RegistryConflicts();

// One line of a registration list: a class under its registered name.
struct ClassEntry {
  const char* name;
  DataObjectCreator create;
};

template <typename T>
constexpr ClassEntry Entry() {
  return {T::kClassName, []() -> CImageDataObject* { return new T(); }};
}

// Registers every entry of a list.
void RegisterClasses(std::span<const ClassEntry> entries);

// Registers T under T::kClassName.
template <typename T>
void RegisterClass() {
  const ClassEntry entry = Entry<T>();
  RegisterDataObjectClass(entry.name, entry.create);
}

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
