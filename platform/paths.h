#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace grinsnap {

// Data files written on Windows name paths with backslashes
// (".\media\Configurations\x.xml"); these helpers accept both separators.

// Replaces every '\' with '/'.
std::string NormalizeSeparators(std::string_view path);

// Resolves a file name from a data file against a base folder: separators
// are normalised, a leading "./" is dropped, and absolute paths stay as
// they are. An empty name gives an empty path.
std::filesystem::path ResolveDataPath(const std::filesystem::path& folder, std::string_view name);

}  // namespace grinsnap
