#include "templates/builtin_classes.h"

#include "filters/register_filters.h"
#include "templates/collage_template.h"
#include "templates/frame_template.h"
#include "templates/mesh_template.h"
#include "templates/simple_template.h"

namespace grinsnap {

std::span<const ClassEntry> TemplateClasses() {
  static constexpr ClassEntry kClasses[] = {
      Entry<CT_3DMesh>(),       // "3DMeshTemplate"
      Entry<CT_Collage>(),      // "CollageTemplate"
      Entry<CT_Frame>(),        // "FrameTemplate"
      Entry<CT_SimpleTempl>(),  // "SimpleTemplate"
  };
  return kClasses;
}

std::vector<std::span<const ClassEntry>> BuiltinClassLists() {
  std::vector<std::span<const ClassEntry>> lists = {TemplateClasses()};
  for (std::span<const ClassEntry> list : FilterClassLists()) lists.push_back(list);
  return lists;
}

void RegisterBuiltinClasses() {
  for (std::span<const ClassEntry> list : BuiltinClassLists()) RegisterClasses(list);
}

}  // namespace grinsnap
