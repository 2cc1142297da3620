#include "platform/paths.h"

#include <algorithm>

namespace grinsnap {

std::string NormalizeSeparators(std::string_view path) {
  std::string out(path);
  std::replace(out.begin(), out.end(), '\\', '/');
  return out;
}

std::optional<std::filesystem::path> RelativeInside(std::string_view name) {
  const std::string normal = NormalizeSeparators(name);
  if (normal.empty() || normal.front() == '/') return std::nullopt;
  const std::filesystem::path relative = std::filesystem::path(normal).lexically_normal();
  if (relative.empty() || relative == "." || *relative.begin() == "..") return std::nullopt;
  return relative;
}

std::filesystem::path ResolveDataPath(const std::filesystem::path& folder, std::string_view name) {
  const std::optional<std::filesystem::path> relative = RelativeInside(name);
  if (!relative) return {};
  return (folder / *relative).lexically_normal();
}

}  // namespace grinsnap
