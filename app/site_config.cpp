#include "app/site_config.h"

#include <tinyxml2.h>

#include "app/template_library.h"

namespace grinsnap {

namespace {

constexpr std::string_view kSiteMacro = "$(Site)";

std::string WithoutTrailingSlash(std::string url) {
  while (!url.empty() && url.back() == '/') url.pop_back();
  return url;
}

}  // namespace

std::string SiteConfig::Expand(const std::string& address) const {
  if (address.rfind(kSiteMacro, 0) != 0) return address;
  return url + address.substr(kSiteMacro.size());
}

SiteConfig SiteConfig::Read(const std::filesystem::path& programFolder) {
  SiteConfig site;
  tinyxml2::XMLDocument document;
  if (!LoadXmlFile(document, programFolder / kConfigFileName)) return site;
  const tinyxml2::XMLElement* root = document.FirstChildElement();
  const tinyxml2::XMLElement* element = root ? root->FirstChildElement("site") : nullptr;
  if (!element) return site;
  if (const char* url = element->Attribute("url"); url && *url) site.url = WithoutTrailingSlash(url);
  if (const char* path = element->Attribute("descriptor"); path && *path) site.descriptorPath = path;
  if (const char* path = element->Attribute("download"); path && *path) site.downloadPagePath = path;
  return site;
}

}  // namespace grinsnap
