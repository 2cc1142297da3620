#include "core/registry.h"

#include <algorithm>
#include <map>

#include "core/effect_template.h"
#include "core/option_panel.h"

namespace grinsnap {
namespace {

// Exact, case-sensitive names. Registration happens once at start-up before
// any lookup, so the table needs no lock.
std::map<std::string, DataObjectCreator, std::less<>>& Table() {
  static std::map<std::string, DataObjectCreator, std::less<>> table;
  return table;
}

std::vector<std::string>& Conflicts() {
  static std::vector<std::string> conflicts;
  return conflicts;
}

}  // namespace

DataObjectCreator RegisterDataObjectClass(const char* name, DataObjectCreator creator) {
  if (!name) return creator;
  auto [it, added] = Table().try_emplace(name, creator);
  if (!added && it->second != creator) {
    Conflicts().push_back(name);
    it->second = creator;
  }
  return creator;
}

std::vector<std::string> RegistryConflicts() { return Conflicts(); }

void RegisterClasses(std::span<const ClassEntry> entries) {
  for (const ClassEntry& entry : entries) RegisterDataObjectClass(entry.name, entry.create);
}

std::unique_ptr<CImageDataObject> CreateDataObject(const char* name) {
  if (!name) return nullptr;
  auto& table = Table();
  auto it = table.find(std::string_view(name));
  if (it == table.end() || !it->second) return nullptr;
  return std::unique_ptr<CImageDataObject>(it->second());
}

std::vector<std::string> RegisteredClassNames() {
  std::vector<std::string> names;
  for (const auto& [name, creator] : Table()) names.push_back(name);
  return names;
}

std::mutex& TemplateCreationLock() {
  static std::mutex lock;
  return lock;
}

CEffectTemplate* CreateTemplate(const char* className, const char* displayName, const tinyxml2::XMLElement* element,
                                const std::filesystem::path& folder, CProcessEngine* engine) {
  std::lock_guard guard(TemplateCreationLock());
  std::unique_ptr<CEffectTemplate> created = TakeAs<CEffectTemplate>(CreateDataObject(className));
  if (!created) return nullptr;
  created->SetEngine(engine);
  created->SetFolder(folder);
  created->SetDisplayName(displayName);
  created->SetElement(element);
  created->Load();
  return created.release();
}

COptionPanel* CreateOptionPane(const char* name, PaneHost* parentWindow, CEffectTemplate* owner) {
  std::unique_ptr<CImageDataObject> object = CreateDataObject(name);
  if (!object || object->Kind() != ObjectKind::OptionPane) return nullptr;
  std::unique_ptr<COptionPanel> pane = TakeAs<COptionPanel>(std::move(object));
  if (!pane) return nullptr;
  pane->AttachByRegistry(parentWindow, owner);
  return pane.release();
}

}  // namespace grinsnap
