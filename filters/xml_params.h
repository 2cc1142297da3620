#pragma once

#include <string>
#include <vector>

#include <tinyxml2.h>

namespace grinsnap {

// Parameter reading conventions shared by filters and templates: a missing
// or unreadable attribute leaves the field at its default.

inline const tinyxml2::XMLElement* FirstChild(const tinyxml2::XMLElement* element, const char* name) {
  return element ? element->FirstChildElement(name) : nullptr;
}

inline void ReadAttribute(const tinyxml2::XMLElement* element, const char* name, int& field) {
  if (element) element->QueryIntAttribute(name, &field);
}

inline void ReadAttribute(const tinyxml2::XMLElement* element, const char* name, double& field) {
  if (element) element->QueryDoubleAttribute(name, &field);
}

// Doubles stored as floats.
inline void ReadAttribute(const tinyxml2::XMLElement* element, const char* name, float& field) {
  double value = field;
  if (element && element->QueryDoubleAttribute(name, &value) == tinyxml2::XML_SUCCESS)
    field = static_cast<float>(value);
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
