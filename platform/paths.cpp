#include "platform/paths.h"

#include <algorithm>

namespace grinsnap {

std::string NormalizeSeparators(std::string_view path) {
  std::string out(path);
  std::replace(out.begin(), out.end(), '\\', '/');
  return out;
}

std::filesystem::path ResolveDataPath(const std::filesystem::path& folder, std::string_view name) {
  std::string normal = NormalizeSeparators(name);
  if (normal.empty()) return {};
  while (normal.rfind("./", 0) == 0) normal.erase(0, 2);
  std::filesystem::path relative(normal);
  if (relative.is_absolute()) return relative;
  return (folder / relative).lexically_normal();
}

}  // namespace grinsnap
