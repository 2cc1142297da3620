#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include <tinyxml2.h>

#include "platform/files.h"

namespace grinsnap {

// What an XML data file may hold before it is refused. The parser's time
// grows with the square of an element's attribute count, so that count is
// checked on the raw text before anything is parsed.
struct XmlLimits {
  std::size_t maxBytes = kMaxDataFileBytes;
  int maxAttributes = 256;  // on one element
  int maxDepth = 0;         // element nesting, the document element being 1; 0: the parser's own limit
  int maxChildren = 0;      // child elements of one element; 0: any number
};

// Parses an XML file's bytes. UTF-16 text (with or without its byte order
// mark) is converted to UTF-8 first. False, with a reason that says what is
// wrong, when the text breaks a limit, does not parse or has no element.
bool ParseXmlText(tinyxml2::XMLDocument& document, std::string_view bytes, const XmlLimits& limits,
                  std::string* error = nullptr);

// Reads a regular file of at most limits.maxBytes and parses it as above.
bool LoadXmlDocumentFile(tinyxml2::XMLDocument& document, const std::filesystem::path& path,
                         const XmlLimits& limits, std::string* error = nullptr);

// The most attributes any element of the text has, counted without parsing:
// every '=' inside a tag outside quoted values (comments, CDATA sections,
// processing instructions and declarations are skipped).
int MostAttributesOnOneElement(std::string_view text);

}  // namespace grinsnap
