#include "core/registry.h"

#include <algorithm>
#include <map>

#include "core/effect_template.h"
#include "core/option_panel.h"
#include "filters/image_filter.h"

namespace grinsnap {
namespace {

// Exact, case-sensitive names. Registration happens once at start-up before
// any lookup, so the table needs no lock.
std::map<std::string, DataObjectCreator, std::less<>>& Table() {
  static std::map<std::string, DataObjectCreator, std::less<>> table;
  return table;
}

// Takes ownership only when the object is of type T.
template <typename T>
std::unique_ptr<T> Downcast(std::unique_ptr<CImageDataObject> object) {
  if (T* typed = dynamic_cast<T*>(object.get())) {
    object.release();
    return std::unique_ptr<T>(typed);
  }
  return nullptr;
}

}  // namespace

DataObjectCreator RegisterDataObjectClass(const char* name, DataObjectCreator creator) {
  if (name) Table()[name] = creator;
  return creator;
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

std::unique_ptr<CImageFilter> CreateFilterFromXml(const char* className, const tinyxml2::XMLElement* element,
                                                  const std::filesystem::path& folder, bool shareSources,
                                                  const float* paramBlock) {
  std::unique_ptr<CImageFilter> filter = Downcast<CImageFilter>(CreateDataObject(className));
  if (!filter) return nullptr;
  filter->SetElement(element);
  filter->SetVariables(paramBlock);
  filter->SetShareSources(shareSources);
  filter->SetFolder(folder);
  filter->Load();
  return filter;
}

std::mutex& TemplateCreationLock() {
  static std::mutex lock;
  return lock;
}

CEffectTemplate* CreateTemplate(const char* className, const char* displayName, const tinyxml2::XMLElement* element,
                                const std::filesystem::path& folder, CProcessEngine* engine) {
  std::lock_guard guard(TemplateCreationLock());
  std::unique_ptr<CEffectTemplate> created = Downcast<CEffectTemplate>(CreateDataObject(className));
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
  std::unique_ptr<COptionPanel> pane = Downcast<COptionPanel>(std::move(object));
  if (!pane) return nullptr;
  pane->AttachByRegistry(parentWindow, owner);
  return pane.release();
}

}  // namespace grinsnap
