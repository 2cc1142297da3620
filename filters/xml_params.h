#pragma once

#include <string>

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

}  // namespace grinsnap
