#include "filters/filter_factory.h"

#include <tinyxml2.h>

#include "core/registry.h"

namespace grinsnap {

std::unique_ptr<CImageFilter> CreateFilterFromXml(const char* className, const tinyxml2::XMLElement* element,
                                                  const std::filesystem::path& folder, bool shareSources,
                                                  VariableBlock block) {
  std::unique_ptr<CImageFilter> filter = TakeAs<CImageFilter>(CreateDataObject(className));
  if (!filter) return nullptr;
  filter->SetElement(element);
  filter->SetVariables(block);
  filter->SetShareSources(shareSources);
  filter->SetFolder(folder);
  filter->Load();
  return filter;
}

std::unique_ptr<CImageFilter> CreateNestedFilter(const CImageFilter& parent, const tinyxml2::XMLElement* element,
                                                 bool shareSources) {
  if (!element) return nullptr;
  std::unique_ptr<CImageFilter> filter =
      CreateFilterFromXml(element->Attribute("name"), element, parent.Folder(), shareSources, nullptr);
  // The nested filter and everything nested in it stop with the parent.
  if (filter) filter->JoinAbortTree(parent);
  return filter;
}

}  // namespace grinsnap
