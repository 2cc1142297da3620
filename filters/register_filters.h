#pragma once

namespace grinsnap {

// Registers every built-in filter class under its name.
void RegisterFilterClasses();

}  // namespace grinsnap
