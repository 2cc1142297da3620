#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace grinsnap {

// Data files written on Windows name paths with backslashes
// (".\media\Configurations\x.xml"); these helpers accept both separators.

// Replaces every '\' with '/'.
std::string NormalizeSeparators(std::string_view path);

// A name from a data file as a path inside the folder it belongs to:
// separators normalised, "." steps dropped and ".." steps taken. Nothing
// when the name is empty, absolute, names the folder itself or climbs out
// of it ("../x", "a/../../x"): a data file never reaches files elsewhere.
std::optional<std::filesystem::path> RelativeInside(std::string_view name);

// Resolves a resource name of a template (an image, a mask, a mesh) against
// the template's folder, as RelativeInside does; an empty path when the name
// would leave the folder or is empty.
std::filesystem::path ResolveDataPath(const std::filesystem::path& folder, std::string_view name);

}  // namespace grinsnap
