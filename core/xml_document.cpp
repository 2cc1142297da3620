#include "core/xml_document.h"

#include <vector>

#include "platform/text_encoding.h"

namespace grinsnap {
namespace {

bool Fail(std::string* error, std::string message) {
  if (error) *error = std::move(message);
  return false;
}

// Checks depth and width without recursion: a document deep enough to
// matter must not use the stack for it.
bool WithinShape(const tinyxml2::XMLElement* root, const XmlLimits& limits, std::string* error) {
  if (limits.maxDepth <= 0 && limits.maxChildren <= 0) return true;
  struct Level {
    const tinyxml2::XMLElement* element;
    int depth;
  };
  std::vector<Level> pending{{root, 1}};
  while (!pending.empty()) {
    const Level level = pending.back();
    pending.pop_back();
    if (limits.maxDepth > 0 && level.depth > limits.maxDepth)
      return Fail(error, "elements nested more than " + std::to_string(limits.maxDepth) + " deep");
    int children = 0;
    for (const tinyxml2::XMLElement* child = level.element->FirstChildElement(); child;
         child = child->NextSiblingElement()) {
      if (limits.maxChildren > 0 && ++children > limits.maxChildren)
        return Fail(error, "an element <" + std::string(level.element->Name()) + "> with more than " +
                               std::to_string(limits.maxChildren) + " child elements");
      pending.push_back({child, level.depth + 1});
    }
  }
  return true;
}

}  // namespace

int MostAttributesOnOneElement(std::string_view text) {
  int most = 0;
  size_t i = 0;
  const size_t n = text.size();
  auto skipPast = [&](std::string_view end) {
    const size_t at = text.find(end, i);
    i = at == std::string_view::npos ? n : at + end.size();
  };
  while (i < n) {
    const size_t open = text.find('<', i);
    if (open == std::string_view::npos) break;
    i = open + 1;
    if (text.substr(i, 3) == "!--") {
      skipPast("-->");
    } else if (text.substr(i, 8) == "![CDATA[") {
      skipPast("]]>");
    } else if (i < n && text[i] == '?') {
      skipPast("?>");
    } else if (i < n && text[i] == '!') {
      skipPast(">");
    } else {
      int count = 0;
      char quote = 0;
      for (; i < n; ++i) {
        const char c = text[i];
        if (quote) {
          if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
          quote = c;
        } else if (c == '=') {
          ++count;
        } else if (c == '>') {
          ++i;
          break;
        }
      }
      if (count > most) most = count;
    }
  }
  return most;
}

bool ParseXmlText(tinyxml2::XMLDocument& document, std::string_view bytes, const XmlLimits& limits,
                  std::string* error) {
  document.Clear();
  if (bytes.size() > limits.maxBytes)
    return Fail(error, "too large (" + std::to_string(bytes.size()) + " bytes, at most " +
                           std::to_string(limits.maxBytes) + ")");
  std::string converted;
  const TextEncoding encoding = DetectTextEncoding(bytes);
  if (encoding == TextEncoding::kUtf16Le || encoding == TextEncoding::kUtf16Be) {
    converted = ToUtf8(bytes);
    bytes = converted;
  }
  if (MostAttributesOnOneElement(bytes) > limits.maxAttributes)
    return Fail(error, "an element with more than " + std::to_string(limits.maxAttributes) + " attributes");
  if (document.Parse(bytes.data(), bytes.size()) != tinyxml2::XML_SUCCESS) {
    const std::string reason = document.ErrorStr() ? document.ErrorStr() : "not XML";
    document.Clear();
    return Fail(error, reason);
  }
  const tinyxml2::XMLElement* root = document.RootElement();
  if (!root) return Fail(error, "no document element");
  if (!WithinShape(root, limits, error)) {
    document.Clear();
    return false;
  }
  return true;
}

bool LoadXmlDocumentFile(tinyxml2::XMLDocument& document, const std::filesystem::path& path,
                         const XmlLimits& limits, std::string* error) {
  std::string bytes;
  if (!ReadRegularFile(path, bytes, limits.maxBytes, error)) {
    document.Clear();
    return false;
  }
  if (ParseXmlText(document, bytes, limits, error)) return true;
  if (error) *error = path.string() + ": " + *error;
  return false;
}

}  // namespace grinsnap
