#pragma once

namespace grinsnap {

// Registers every built-in template and filter class. Every executable and
// test calls it once at start-up; calling it again changes nothing.
void RegisterBuiltinClasses();

// Registers the template classes under their names.
void RegisterTemplateClasses();

}  // namespace grinsnap
