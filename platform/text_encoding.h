#pragma once

#include <string>
#include <string_view>

namespace grinsnap {

// UTF-16 (little- or big-endian) to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian);

// The encoding a data file's bytes start with.
enum class TextEncoding { kUtf8, kUtf8Bom, kUtf16Le, kUtf16Be };

// Tells UTF-16 by its byte order mark, or, without one, by an XML or INI
// file's first character ('<', '[', ';') having a zero byte beside it.
TextEncoding DetectTextEncoding(std::string_view bytes);

// UTF-16 text (with or without its byte order mark) converted to UTF-8;
// anything else as it is, a UTF-8 byte order mark included.
std::string ToUtf8(std::string_view bytes);

}  // namespace grinsnap
