#include "platform/text_encoding.h"

namespace grinsnap {
namespace {

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

unsigned char Byte(std::string_view bytes, size_t i) { return static_cast<unsigned char>(bytes[i]); }

bool IsMarkup(unsigned char c) { return c == '<' || c == '[' || c == ';'; }

}  // namespace

std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
  std::string out;
  out.reserve(bytes.size());
  const size_t units = bytes.size() / 2;
  auto unit = [&](size_t i) -> char32_t {
    const auto b0 = Byte(bytes, 2 * i);
    const auto b1 = Byte(bytes, 2 * i + 1);
    return bigEndian ? (char32_t(b0) << 8 | b1) : (char32_t(b1) << 8 | b0);
  };
  for (size_t i = 0; i < units; ++i) {
    char32_t code = unit(i);
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < units && unit(i + 1) >= 0xDC00 && unit(i + 1) <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
      ++i;
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = 0xFFFD;
    }
    AppendUtf8(out, code);
  }
  return out;
}

TextEncoding DetectTextEncoding(std::string_view bytes) {
  if (bytes.size() >= 2 && Byte(bytes, 0) == 0xFF && Byte(bytes, 1) == 0xFE) return TextEncoding::kUtf16Le;
  if (bytes.size() >= 2 && Byte(bytes, 0) == 0xFE && Byte(bytes, 1) == 0xFF) return TextEncoding::kUtf16Be;
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") return TextEncoding::kUtf8Bom;
  // Without a mark: the first two characters are ASCII with a zero byte each.
  if (bytes.size() >= 4 && IsMarkup(Byte(bytes, 0)) && Byte(bytes, 1) == 0 && Byte(bytes, 2) != 0 &&
      Byte(bytes, 3) == 0)
    return TextEncoding::kUtf16Le;
  if (bytes.size() >= 4 && Byte(bytes, 0) == 0 && IsMarkup(Byte(bytes, 1)) && Byte(bytes, 2) == 0 &&
      Byte(bytes, 3) != 0)
    return TextEncoding::kUtf16Be;
  return TextEncoding::kUtf8;
}

std::string ToUtf8(std::string_view bytes) {
  switch (DetectTextEncoding(bytes)) {
    case TextEncoding::kUtf16Le:
    case TextEncoding::kUtf16Be: {
      const bool bigEndian = DetectTextEncoding(bytes) == TextEncoding::kUtf16Be;
      const bool mark = (Byte(bytes, 0) == 0xFF || Byte(bytes, 0) == 0xFE);
      return Utf16ToUtf8(bytes.substr(mark ? 2 : 0), bigEndian);
    }
    case TextEncoding::kUtf8:
    case TextEncoding::kUtf8Bom:
      break;
  }
  return std::string(bytes);
}

}  // namespace grinsnap
