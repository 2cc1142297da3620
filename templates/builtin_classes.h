#pragma once

#include <span>
#include <vector>

#include "core/registry.h"

namespace grinsnap {

// The template classes, sorted by registered name.
std::span<const ClassEntry> TemplateClasses();

// Every built-in registration list: the templates and each filter family.
std::vector<std::span<const ClassEntry>> BuiltinClassLists();

// Registers every built-in template and filter class. Every executable and
// test calls it once at start-up; calling it again changes nothing.
void RegisterBuiltinClasses();

}  // namespace grinsnap
