#include "core/builtin_classes.h"

#include "core/registry.h"
#include "core/simple_template.h"
#include "filters/register_filters.h"

namespace grinsnap {

// Sorted by registered name.
void RegisterTemplateClasses() {
  RegisterClass<CT_SimpleTempl>();  // "SimpleTemplate"
}

void RegisterBuiltinClasses() {
  RegisterTemplateClasses();
  RegisterFilterClasses();
}

}  // namespace grinsnap
