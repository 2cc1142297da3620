#pragma once

#include <filesystem>
#include <string>

namespace grinsnap {

// The product web site: where the version descriptor, the download page and
// the online template packages are. config.cfg's `site` element sets it:
//   <site url="https://..." descriptor="/version_free.ini" download="/download.html"/>
// so that a test or a mirror can point the program elsewhere.
struct SiteConfig {
  // Scheme and host, no trailing '/'; empty when config.cfg names no site (nothing
  // is then fetched from it).
  std::string url;
  std::string descriptorPath = "/version_free.ini";
  std::string downloadPagePath = "/download.html";

  std::string DescriptorUrl() const { return url + descriptorPath; }
  std::string DownloadPageUrl() const { return url + downloadPagePath; }
  // A template's download address: "$(Site)" at its start stands for url.
  std::string Expand(const std::string& address) const;

  // config.cfg in the program folder; the defaults where it says nothing.
  static SiteConfig Read(const std::filesystem::path& programFolder);
};

}  // namespace grinsnap
