#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <tinyxml2.h>

#include "core/numeric.h"

namespace grinsnap {

// Parameter reading conventions shared by filters and templates: a missing
// or unreadable attribute leaves the field at its default.

inline const tinyxml2::XMLElement* FirstChild(const tinyxml2::XMLElement* element, const char* name) {
  return element ? element->FirstChildElement(name) : nullptr;
}

// Integers beyond the range of int saturate; text that is not a number
// leaves the field alone.
inline void ReadAttribute(const tinyxml2::XMLElement* element, const char* name, int& field) {
  std::int64_t value = 0;
  if (!element || element->QueryInt64Attribute(name, &value) != tinyxml2::XML_SUCCESS) return;
  field = static_cast<int>(std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(),
                                                    std::numeric_limits<int>::max()));
}

// NaN and infinities are refused: they leave the field alone.
inline void ReadAttribute(const tinyxml2::XMLElement* element, const char* name, double& field) {
  double value = 0;
  if (element && element->QueryDoubleAttribute(name, &value) == tinyxml2::XML_SUCCESS && std::isfinite(value))
    field = value;
}

// Doubles stored as floats; values beyond the float range saturate.
inline void ReadAttribute(const tinyxml2::XMLElement* element, const char* name, float& field) {
  double value = 0;
  if (element && element->QueryDoubleAttribute(name, &value) == tinyxml2::XML_SUCCESS && std::isfinite(value))
    field = SaturateToFloat(value);
}

// A text attribute; empty when the element or attribute is missing.
inline std::string AttributeText(const tinyxml2::XMLElement* element, const char* name) {
  const char* value = element ? element->Attribute(name) : nullptr;
  return value ? std::string(value) : std::string();
}

// Children named prefix0, prefix1, ... in number order, up to the first
// number that is missing ("extra0", "extra1", "extra3" gives two).
inline std::vector<const tinyxml2::XMLElement*> NumberedChildren(const tinyxml2::XMLElement* parent,
                                                                 const std::string& prefix) {
  std::vector<const tinyxml2::XMLElement*> children;
  if (!parent) return children;
  for (int i = 0;; ++i) {
    const tinyxml2::XMLElement* child = parent->FirstChildElement((prefix + std::to_string(i)).c_str());
    if (!child) break;
    children.push_back(child);
  }
  return children;
}

// Children of one name in document order.
inline std::vector<const tinyxml2::XMLElement*> ChildrenNamed(const tinyxml2::XMLElement* parent, const char* name) {
  std::vector<const tinyxml2::XMLElement*> children;
  for (const tinyxml2::XMLElement* child = parent ? parent->FirstChildElement(name) : nullptr; child;
       child = child->NextSiblingElement(name))
    children.push_back(child);
  return children;
}

}  // namespace grinsnap
