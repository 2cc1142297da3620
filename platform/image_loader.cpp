#include "platform/image_loader.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <fstream>
#include <mutex>
#include <new>
#include <string_view>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <zlib.h>

#include "platform/colour_profile.h"
#include "platform/files.h"
#include "platform/image_decoders.h"
#include "platform/folders.h"

namespace fs = std::filesystem;

namespace grinsnap {
namespace {

using Bytes = std::span<const std::uint8_t>;

// ---------------------------------------------------------------------------
// Bounds-checked byte access. Every header field is read through these, so a
// file cut short anywhere reads as "field missing", never past the buffer.

bool Has(Bytes b, std::size_t at, std::size_t n) { return at <= b.size() && n <= b.size() - at; }

bool StartsWith(Bytes b, std::size_t at, std::string_view text) {
  return Has(b, at, text.size()) && std::equal(text.begin(), text.end(), b.begin() + at,
                                               [](char c, std::uint8_t v) { return std::uint8_t(c) == v; });
}

std::uint32_t Be16(Bytes b, std::size_t at) { return (std::uint32_t(b[at]) << 8) | b[at + 1]; }
std::uint32_t Le16(Bytes b, std::size_t at) { return (std::uint32_t(b[at + 1]) << 8) | b[at]; }
std::uint32_t Be32(Bytes b, std::size_t at) { return (Be16(b, at) << 16) | Be16(b, at + 2); }
std::uint32_t Le32(Bytes b, std::size_t at) { return (Le16(b, at + 2) << 16) | Le16(b, at); }
std::uint32_t Le24(Bytes b, std::size_t at) { return (std::uint32_t(b[at + 2]) << 16) | Le16(b, at); }

// ---------------------------------------------------------------------------
// Text: files carry Latin-1, UTF-8 and UTF-16; the program speaks UTF-8.

void AppendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += char(code);
  } else if (code < 0x800) {
    out += char(0xC0 | (code >> 6));
    out += char(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += char(0xE0 | (code >> 12));
    out += char(0x80 | ((code >> 6) & 0x3F));
    out += char(0x80 | (code & 0x3F));
  } else {
    out += char(0xF0 | (code >> 18));
    out += char(0x80 | ((code >> 12) & 0x3F));
    out += char(0x80 | ((code >> 6) & 0x3F));
    out += char(0x80 | (code & 0x3F));
  }
}

std::string Latin1ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) AppendUtf8(out, std::uint8_t(c));
  return out;
}

bool IsValidUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const std::uint8_t lead = std::uint8_t(text[i]);
    std::size_t extra = 0;
    std::uint32_t minimum = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      extra = 1, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3, minimum = 0x10000;
    } else {
      return false;
    }
    if (text.size() - i <= extra) return false;
    std::uint32_t code = lead & (0x3F >> extra);
    for (std::size_t k = 1; k <= extra; ++k) {
      const std::uint8_t next = std::uint8_t(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += extra + 1;
  }
  return true;
}

// EXIF "ASCII" fields hold whatever the writing program used: UTF-8 is kept,
// anything else is read as Latin-1.
std::string LenientToUtf8(std::string_view text) {
  return IsValidUtf8(text) ? std::string(text) : Latin1ToUtf8(text);
}

std::string Utf16LeToUtf8(Bytes b) {
  std::string out;
  for (std::size_t i = 0; i + 1 < b.size(); i += 2) {
    std::uint32_t unit = Le16(b, i);
    if (unit == 0) break;
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < b.size()) {
      const std::uint32_t low = Le16(b, i + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    if (unit >= 0xD800 && unit <= 0xDFFF) unit = 0xFFFD;  // lone surrogate
    AppendUtf8(out, unit);
  }
  return out;
}

// The text up to the first NUL, without the blanks cameras pad fields with.
std::string_view UpToNulTrimmed(Bytes b) {
  std::string_view text(reinterpret_cast<const char*>(b.data()), b.size());
  text = text.substr(0, text.find('\0'));
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
    text.remove_suffix(1);
  return text;
}

// A text field becomes an output only when it says something.
std::optional<std::string> NonEmpty(std::string text) {
  if (text.find_first_not_of(" \t\r\n") == std::string::npos) return std::nullopt;
  return text;
}

// ---------------------------------------------------------------------------
// TIFF structure: the layout of EXIF data and of TIFF files.

constexpr std::uint16_t kTagImageWidth = 256;
constexpr std::uint16_t kTagImageLength = 257;
constexpr std::uint16_t kTagImageDescription = 270;
constexpr std::uint16_t kTagOrientation = 274;
constexpr std::uint16_t kTagImageTitle = 800;
constexpr std::uint16_t kTagXpTitle = 0x9C9B;
constexpr std::uint16_t kTagIccProfile = 34675;

constexpr std::uint16_t kTypeByte = 1, kTypeAscii = 2, kTypeShort = 3, kTypeLong = 4, kTypeUndefined = 7;

std::size_t TiffTypeSize(std::uint16_t type) {
  switch (type) {
    case 1: case 2: case 6: case 7: return 1;   // BYTE, ASCII, SBYTE, UNDEFINED
    case 3: case 8: return 2;                   // SHORT, SSHORT
    case 4: case 9: case 11: return 4;          // LONG, SLONG, FLOAT
    case 5: case 10: case 12: return 8;         // RATIONAL, SRATIONAL, DOUBLE
    default: return 0;
  }
}

struct TiffEntry {
  std::uint16_t tag = 0;
  std::uint16_t type = 0;
  std::uint32_t count = 0;
  Bytes value;  // the value bytes, in place or at their offset
};

class TiffReader {
public:
  explicit TiffReader(Bytes tiff) : b_(tiff) {
    if (StartsWith(b_, 0, "II") && Has(b_, 0, 8) && Le16(b_, 2) == 42) {
      little_ = true;
      valid_ = true;
    } else if (StartsWith(b_, 0, "MM") && Has(b_, 0, 8) && Be16(b_, 2) == 42) {
      little_ = false;
      valid_ = true;
    }
  }

  bool Valid() const { return valid_; }

  // Calls visit(entry) for each entry of the first image directory whose
  // value lies inside the data; entries pointing outside it are skipped.
  template <typename Visit>
  void ForEachIfd0Entry(Visit visit) const {
    if (!valid_) return;
    const std::size_t ifd = U32(4);
    if (!Has(b_, ifd, 2)) return;
    const std::size_t count = U16(ifd);
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t at = ifd + 2 + 12 * i;
      if (!Has(b_, at, 12)) return;
      TiffEntry entry;
      entry.tag = std::uint16_t(U16(at));
      entry.type = std::uint16_t(U16(at + 2));
      entry.count = U32(at + 4);
      const std::uint64_t size = std::uint64_t(entry.count) * TiffTypeSize(entry.type);
      if (size == 0) continue;
      const std::size_t valueAt = size <= 4 ? at + 8 : U32(at + 8);
      if (size > b_.size() || !Has(b_, valueAt, std::size_t(size))) continue;
      entry.value = b_.subspan(valueAt, std::size_t(size));
      visit(entry);
    }
  }

  // The first value of a SHORT or LONG entry.
  std::optional<std::uint32_t> Unsigned(const TiffEntry& entry) const {
    if (entry.type == kTypeShort) return little_ ? Le16(entry.value, 0) : Be16(entry.value, 0);
    if (entry.type == kTypeLong) return little_ ? Le32(entry.value, 0) : Be32(entry.value, 0);
    return std::nullopt;
  }

private:
  std::uint32_t U16(std::size_t at) const { return little_ ? Le16(b_, at) : Be16(b_, at); }
  std::uint32_t U32(std::size_t at) const { return little_ ? Le32(b_, at) : Be32(b_, at); }

  Bytes b_;
  bool little_ = true;
  bool valid_ = false;
};

// ---------------------------------------------------------------------------
// JPEG: walks the marker segments up to the first scan, as the decoder does,
// to find the frame size and the Exif segment.

struct JpegHeader {
  std::uint64_t width = 0;
  std::uint64_t height = 0;
  Bytes exif;  // the TIFF structure after "Exif\0\0", empty when absent
  // The APP2 "ICC_PROFILE" segments after their 14-byte heading (name,
  // sequence number from 1, count), in file order.
  std::vector<Bytes> iccParts;
};

constexpr std::string_view kJpegIccName("ICC_PROFILE\0", 12);

bool IsJpeg(Bytes b) { return Has(b, 0, 3) && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF; }

JpegHeader ScanJpeg(Bytes b) {
  JpegHeader header;
  bool haveFrame = false;
  std::size_t pos = 2;
  while (pos < b.size()) {
    // The decoder skips stray bytes before a marker and any number of 0xFF
    // fill bytes; doing the same finds the same frame header it will use.
    while (pos < b.size() && b[pos] != 0xFF) ++pos;
    while (pos < b.size() && b[pos] == 0xFF) ++pos;
    if (pos >= b.size()) break;
    const std::uint8_t marker = b[pos++];
    if (marker == 0x00 || marker == 0x01 || marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7)) continue;
    if (marker == 0xD9 || !Has(b, pos, 2)) break;  // end of image, or cut short
    const std::size_t length = Be16(b, pos);
    if (length < 2) break;
    const Bytes segment = b.subspan(pos + 2, std::min(length - 2, b.size() - pos - 2));
    const bool isFrame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (isFrame && !haveFrame) {
      haveFrame = true;  // a second frame header is an error to the decoder
      if (Has(segment, 0, 5)) {
        header.height = Be16(segment, 1);
        header.width = Be16(segment, 3);
      }
    } else if (marker == 0xE1 && header.exif.empty() && StartsWith(segment, 0, std::string_view("Exif\0\0", 6))) {
      header.exif = segment.subspan(6);
    } else if (marker == 0xE2 && StartsWith(segment, 0, kJpegIccName) && Has(segment, 0, 14)) {
      header.iccParts.push_back(segment);
    } else if (marker == 0xDA) {
      break;  // entropy-coded data follows; every header segment has been seen
    }
    pos += length;
  }
  return header;
}

// ---------------------------------------------------------------------------
// Header probes of the other formats OpenCV reads. Each fills width and
// height from the declared size, or leaves them 0 when the header is bad.

constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr std::uint8_t kJp2Signature[12] = {0, 0, 0, 0x0C, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};

bool HasSignature(Bytes b, std::span<const std::uint8_t> signature) {
  return Has(b, 0, signature.size()) && std::equal(signature.begin(), signature.end(), b.begin());
}

void ProbePng(Bytes b, ImageFileHeader& h) {
  // IHDR must be the first chunk: length, type, then width and height.
  if (Has(b, 8, 16) && StartsWith(b, 12, "IHDR")) {
    h.width = Be32(b, 16);
    h.height = Be32(b, 20);
  }
}

void ProbeBmp(Bytes b, ImageFileHeader& h) {
  if (!Has(b, 14, 4)) return;
  const std::uint32_t infoSize = Le32(b, 14);
  if (infoSize == 12 && Has(b, 18, 4)) {  // OS/2 core header: 16-bit sizes
    h.width = Le16(b, 18);
    h.height = Le16(b, 20);
  } else if (infoSize >= 16 && Has(b, 18, 8)) {
    // A negative height marks rows stored top-down; a negative width is bad.
    const std::int32_t width = std::int32_t(Le32(b, 18));
    const std::int64_t height = std::int32_t(Le32(b, 22));
    if (width > 0) {
      h.width = std::uint64_t(width);
      h.height = std::uint64_t(height < 0 ? -height : height);
    }
  }
}

bool IsWebp(Bytes b) { return StartsWith(b, 0, "RIFF") && StartsWith(b, 8, "WEBP"); }

// Calls visit(fourcc, data) for each chunk of a WebP file that lies inside it.
template <typename Visit>
void ForEachWebpChunk(Bytes b, Visit visit) {
  std::size_t pos = 12;
  while (Has(b, pos, 8)) {
    const std::size_t size = Le32(b, pos + 4);
    if (!Has(b, pos + 8, size)) return;
    visit(std::string_view(reinterpret_cast<const char*>(b.data() + pos), 4), b.subspan(pos + 8, size));
    pos += 8 + size + (size & 1);  // chunks start on even offsets
  }
}

void ProbeWebp(Bytes b, ImageFileHeader& h) {
  constexpr std::size_t kPayload = 20;  // after "RIFF" size "WEBP" fourcc size
  if (StartsWith(b, 12, "VP8 ") && Has(b, kPayload, 10) && b[kPayload + 3] == 0x9D && b[kPayload + 4] == 0x01 &&
      b[kPayload + 5] == 0x2A) {
    h.width = Le16(b, kPayload + 6) & 0x3FFF;
    h.height = Le16(b, kPayload + 8) & 0x3FFF;
  } else if (StartsWith(b, 12, "VP8L") && Has(b, kPayload, 5) && b[kPayload] == 0x2F) {
    const std::uint32_t bits = Le32(b, kPayload + 1);
    h.width = (bits & 0x3FFF) + 1;
    h.height = ((bits >> 14) & 0x3FFF) + 1;
  } else if (StartsWith(b, 12, "VP8X") && Has(b, kPayload, 10)) {
    h.width = std::uint64_t(Le24(b, kPayload + 4)) + 1;
    h.height = std::uint64_t(Le24(b, kPayload + 7)) + 1;
  }
}

void ProbeTiff(Bytes b, ImageFileHeader& h) {
  TiffReader tiff(b);
  std::uint64_t width = 0, height = 0;
  tiff.ForEachIfd0Entry([&](const TiffEntry& entry) {
    if (entry.tag == kTagImageWidth) width = tiff.Unsigned(entry).value_or(0);
    if (entry.tag == kTagImageLength) height = tiff.Unsigned(entry).value_or(0);
  });
  h.width = width;
  h.height = height;
}

// Whitespace-separated tokens of a text header, '#' starting a comment that
// runs to the end of the line (netpbm, PAM).
class TextHeaderTokens {
public:
  TextHeaderTokens(Bytes b, std::size_t pos) : b_(b), pos_(pos) {}

  std::string_view Next() {
    for (;;) {
      while (pos_ < b_.size() && IsSpace(b_[pos_])) ++pos_;
      if (pos_ < b_.size() && b_[pos_] == '#') {
        while (pos_ < b_.size() && b_[pos_] != '\n' && b_[pos_] != '\r') ++pos_;
        continue;
      }
      break;
    }
    const std::size_t start = pos_;
    while (pos_ < b_.size() && !IsSpace(b_[pos_])) ++pos_;
    return std::string_view(reinterpret_cast<const char*>(b_.data()) + start, pos_ - start);
  }

  // A decimal number; 0 when the token is not one. Values beyond every limit
  // saturate instead of overflowing.
  std::uint64_t NextNumber() { return ToNumber(Next()); }

  static std::uint64_t ToNumber(std::string_view token) {
    if (token.empty()) return 0;
    std::uint64_t value = 0;
    for (char c : token) {
      if (c < '0' || c > '9') return 0;
      value = std::min<std::uint64_t>(value * 10 + std::uint64_t(c - '0'), std::uint64_t(1) << 40);
    }
    return value;
  }

private:
  static bool IsSpace(std::uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

  Bytes b_;
  std::size_t pos_;
};

void ProbePnm(Bytes b, ImageFileHeader& h) {
  TextHeaderTokens tokens(b, 2);
  if (b[1] != '7') {  // P1..P6 and PF/Pf: width then height
    h.width = tokens.NextNumber();
    h.height = tokens.NextNumber();
    return;
  }
  // PAM: "WIDTH n" and "HEIGHT n" lines up to ENDHDR.
  for (std::string_view token = tokens.Next(); !token.empty() && token != "ENDHDR"; token = tokens.Next()) {
    if (token == "WIDTH") h.width = tokens.NextNumber();
    if (token == "HEIGHT") h.height = tokens.NextNumber();
  }
}

void ProbeRadiance(Bytes b, ImageFileHeader& h) {
  // Header lines end at an empty line; the next line gives "-Y rows +X cols",
  // the only layout the decoder accepts.
  const std::size_t limit = std::min<std::size_t>(b.size(), 64 * 1024);
  std::size_t pos = 0;
  bool previousWasNewline = false;
  while (pos < limit) {
    const bool newline = b[pos++] == '\n';
    if (newline && previousWasNewline) break;
    previousWasNewline = newline;
  }
  if (pos >= limit) return;
  std::size_t end = pos;
  while (end < limit && b[end] != '\n') ++end;
  TextHeaderTokens tokens(b.first(end), pos);
  if (tokens.Next() != "-Y") return;
  const std::uint64_t rows = tokens.NextNumber();
  if (tokens.Next() != "+X") return;
  h.height = rows;
  h.width = tokens.NextNumber();
}

// A JPEG 2000 codestream: the SIZ segment follows the start-of-codestream
// marker and gives the reference grid minus its offset.
void ProbeJpeg2000Codestream(Bytes b, ImageFileHeader& h) {
  if (!Has(b, 0, 24) || Be16(b, 0) != 0xFF4F || Be16(b, 2) != 0xFF51) return;
  const std::uint32_t xSize = Be32(b, 8), ySize = Be32(b, 12);
  const std::uint32_t xOffset = Be32(b, 16), yOffset = Be32(b, 20);
  if (xSize <= xOffset || ySize <= yOffset) return;
  h.width = xSize - xOffset;
  h.height = ySize - yOffset;
}

// A JP2 file: boxes, one of which ("jp2c") holds the codestream.
void ProbeJp2(Bytes b, ImageFileHeader& h) {
  std::size_t pos = 0;
  while (Has(b, pos, 8)) {
    std::uint64_t length = Be32(b, pos);
    std::size_t headerSize = 8;
    if (length == 1) {
      if (!Has(b, pos, 16)) return;
      length = (std::uint64_t(Be32(b, pos + 8)) << 32) | Be32(b, pos + 12);
      headerSize = 16;
    } else if (length == 0) {
      length = b.size() - pos;  // the last box runs to the end of the file
    }
    if (length < headerSize) return;
    if (StartsWith(b, pos + 4, "jp2c")) {
      ProbeJpeg2000Codestream(b.subspan(pos + headerSize), h);
      return;
    }
    if (length > b.size() - pos) return;
    pos += std::size_t(length);
  }
}

// ---------------------------------------------------------------------------
// PNG chunks carrying text and EXIF data.

struct PngText {
  std::optional<std::string> title;
  std::optional<std::string> description;
  Bytes exif;
  // EXIF data kept as a hex "raw profile" in a compressed text chunk, as
  // exiv2 and ImageMagick write it; used when there is no eXIf chunk.
  std::vector<std::uint8_t> rawProfileExif;
};

// Inflates zlib data that must come to at most `limit` bytes; false when it
// is damaged, cut short or larger (a small chunk may inflate to gigabytes).
bool Inflate(Bytes in, std::size_t limit, std::vector<std::uint8_t>& out) {
  out.clear();
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return false;
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = uInt(std::min<std::size_t>(in.size(), UINT_MAX));
  std::uint8_t buffer[16384];
  int rc = Z_OK;
  while (rc == Z_OK) {
    z.next_out = buffer;
    z.avail_out = sizeof buffer;
    rc = inflate(&z, Z_NO_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END) break;
    const std::size_t got = sizeof buffer - z.avail_out;
    if (got > limit - out.size()) {
      rc = Z_MEM_ERROR;
      break;
    }
    out.insert(out.end(), buffer, buffer + got);
    if (rc == Z_OK && z.avail_in == 0 && z.avail_out != 0) break;  // cut short
  }
  inflateEnd(&z);
  return rc == Z_STREAM_END;
}

// The payload of a raw profile text ("\nexif\n   LENGTH\nHEX DIGITS..."):
// the declared number of bytes from the hex digits, which may be broken
// into lines. Empty when the text is malformed.
std::vector<std::uint8_t> DecodeRawProfile(std::string_view text) {
  std::size_t pos = text.find_first_not_of('\n');
  pos = pos == std::string_view::npos ? pos : text.find('\n', pos);  // the profile's name
  if (pos == std::string_view::npos) return {};
  std::size_t length = 0;
  pos = text.find_first_not_of(" \t\n", pos);
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
    length = length * 10 + std::size_t(text[pos] - '0');
    if (length > text.size()) return {};  // two digits a byte: cannot hold it
  }
  std::vector<std::uint8_t> bytes;
  bytes.reserve(length);
  int high = -1;
  for (; pos < text.size() && bytes.size() < length; ++pos) {
    const char c = text[pos];
    int nibble = -1;
    if (c >= '0' && c <= '9') nibble = c - '0';
    else if (c >= 'a' && c <= 'f') nibble = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') nibble = c - 'A' + 10;
    else if (c == ' ' || c == '\n' || c == '\r' || c == '\t') continue;
    else return {};
    if (high < 0) {
      high = nibble;
    } else {
      bytes.push_back(std::uint8_t(high << 4 | nibble));
      high = -1;
    }
  }
  if (bytes.size() != length) return {};
  return bytes;
}

// EXIF data after its optional "Exif\0\0" heading.
Bytes WithoutExifHeading(Bytes b) {
  return StartsWith(b, 0, std::string_view("Exif\0\0", 6)) ? b.subspan(6) : b;
}

bool KeywordIs(std::string_view keyword, std::string_view wanted) {
  return keyword.size() == wanted.size() &&
         std::equal(keyword.begin(), keyword.end(), wanted.begin(),
                    [](char a, char c) { return std::tolower(std::uint8_t(a)) == std::tolower(std::uint8_t(c)); });
}

// EXIF blocks are at most 64 KiB in a JPEG; other files rarely carry more.
constexpr std::size_t kMaxExifInflated = std::size_t(4) << 20;

PngText ReadPngChunks(Bytes b) {
  PngText found;
  std::size_t pos = 8;
  while (Has(b, pos, 8)) {
    const std::size_t length = Be32(b, pos);
    if (!Has(b, pos + 8, length)) break;
    const Bytes data = b.subspan(pos + 8, length);
    const std::string_view all(reinterpret_cast<const char*>(data.data()), data.size());
    const std::size_t keywordEnd = all.find('\0');
    const std::string_view keyword = all.substr(0, keywordEnd);
    std::optional<std::string> text;
    if (StartsWith(b, pos + 4, "tEXt") && keywordEnd != std::string_view::npos) {
      // tEXt is Latin-1 by definition.
      text = Latin1ToUtf8(all.substr(keywordEnd + 1));
    } else if (StartsWith(b, pos + 4, "iTXt") && keywordEnd != std::string_view::npos) {
      // keyword, compression flag and method, language tag, translated
      // keyword, then UTF-8 text. Compressed text is not read.
      const std::size_t flagAt = keywordEnd + 1;
      if (flagAt + 2 <= all.size() && all[flagAt] == 0) {
        const std::size_t languageEnd = all.find('\0', flagAt + 2);
        const std::size_t translatedEnd =
            languageEnd == std::string_view::npos ? languageEnd : all.find('\0', languageEnd + 1);
        if (translatedEnd != std::string_view::npos) text = LenientToUtf8(all.substr(translatedEnd + 1));
      }
    } else if ((StartsWith(b, pos + 4, "zTXt") || StartsWith(b, pos + 4, "iTXt")) && keywordEnd != std::string_view::npos &&
               found.rawProfileExif.empty() &&
               (KeywordIs(keyword, "Raw profile type exif") || KeywordIs(keyword, "Raw profile type APP1"))) {
      // zTXt: keyword, method, compressed text; iTXt: keyword, flag,
      // method, language, translated keyword, text (compressed when the flag is 1).
      Bytes packed;
      bool compressed = true;
      if (StartsWith(b, pos + 4, "zTXt")) {
        if (keywordEnd + 2 <= data.size()) packed = data.subspan(keywordEnd + 2);
      } else if (keywordEnd + 3 <= data.size()) {
        compressed = data[keywordEnd + 1] == 1;
        const std::size_t languageEnd = all.find('\0', keywordEnd + 3);
        const std::size_t translatedEnd =
            languageEnd == std::string_view::npos ? languageEnd : all.find('\0', languageEnd + 1);
        if (translatedEnd != std::string_view::npos) packed = data.subspan(translatedEnd + 1);
      }
      std::vector<std::uint8_t> inflated;
      if (!compressed) inflated.assign(packed.begin(), packed.end());
      if (!packed.empty() && (!compressed || Inflate(packed, kMaxExifInflated, inflated))) {
        const std::vector<std::uint8_t> raw = DecodeRawProfile(
            std::string_view(reinterpret_cast<const char*>(inflated.data()), inflated.size()));
        const Bytes tiff = WithoutExifHeading(raw);
        found.rawProfileExif.assign(tiff.begin(), tiff.end());
      }
    } else if (StartsWith(b, pos + 4, "eXIf") && found.exif.empty()) {
      found.exif = data;
    } else if (StartsWith(b, pos + 4, "IEND")) {
      break;
    }
    if (text) {
      if (KeywordIs(keyword, "Title") && !found.title) found.title = NonEmpty(std::move(*text));
      else if (KeywordIs(keyword, "Description") && !found.description) found.description = NonEmpty(std::move(*text));
    }
    pos += 12 + length;  // length, type, data, CRC
  }
  return found;
}

// ---------------------------------------------------------------------------
// Conversion to the program's image format.

// Scale that maps the full range of a depth onto 0..255; signed types lose
// their negative half, floating-point pictures are 0..1.
double EightBitScale(int depth) {
  switch (depth) {
    case CV_8S: return 255.0 / 127.0;
    case CV_16U: return 1.0 / 257.0;
    case CV_16S: return 255.0 / 32767.0;
    case CV_32S: return 255.0 / 2147483647.0;
    default: return 255.0;  // CV_32F, CV_64F, CV_16F
  }
}

// ---------------------------------------------------------------------------
// The log of failed loads.

std::mutex& LogMutex() {
  static std::mutex mutex;
  return mutex;
}

// A reason as one line of the log: line breaks become blanks.
std::string OneLine(std::string reason) {
  std::replace(reason.begin(), reason.end(), '\r', ' ');
  std::replace(reason.begin(), reason.end(), '\n', ' ');
  while (!reason.empty() && reason.back() == ' ') reason.pop_back();
  return reason.empty() ? std::string("unknown error") : reason;
}

void LogFailedLoad(const fs::path& path, const std::string& reason) {
  const std::string line = "Load Image File\"" + path.string() + "\"failed. error:" + reason + "\r\n";
  const fs::path folder = AppDataFolder();
  std::string problem;
  {
    std::lock_guard lock(LogMutex());
    std::error_code ec;
    fs::create_directories(folder, ec);
    // Non-blocking: a FIFO put in the log's place must not stop the program;
    // only a regular file is written to. One write appends the whole line.
    const int fd = ::open((folder / "log.txt").c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
    struct stat info {};
    if (fd < 0) {
      problem = ec ? ec.message() : std::generic_category().message(errno);
    } else if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
      problem = "not a regular file";
    } else if (::write(fd, line.data(), line.size()) != ssize_t(line.size())) {
      problem = "write failed";
    }
    if (fd >= 0) ::close(fd);
    if (!problem.empty()) problem = "cannot write " + (folder / "log.txt").string() + ": " + problem;
  }
  if (!problem.empty()) ReportUserDataProblem(folder / "log.txt", problem);
}

// The file, opened, with the reason it cannot be had.
bool OpenPicture(const fs::path& path, RegularFile& file, std::string& reason) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (status.type() == fs::file_type::not_found) {
    reason = "file not found";
    return false;
  }
  if (ec) {
    reason = "cannot open file: " + ec.message();
    return false;
  }
  // Checked again on the open file below; this gives the plain reason.
  if (status.type() != fs::file_type::regular) {
    reason = "not a regular file";
    return false;
  }
  // The decoder takes a buffer of int length.
  if (!file.Open(path, std::uint64_t(INT_MAX), &reason)) {
    if (reason.find("file too large") != std::string::npos) reason = "file too large";
    else if (reason.find("not a regular file") != std::string::npos) reason = "not a regular file";
    else reason = "cannot open file: " + reason;
    return false;
  }
  if (file.Size() == 0) {
    reason = "empty file";
    return false;
  }
  return true;
}

bool ReadPictureBytes(const RegularFile& file, std::size_t count, std::vector<std::uint8_t>& bytes,
                      std::string& reason) {
  std::string text;
  if (!file.ReadAt(0, count, text, &reason) || text.size() != count) {
    reason = "cannot read file";
    return false;
  }
  bytes.assign(text.begin(), text.end());
  return true;
}

// The most bytes a file may have for the picture its header declares: far
// more than any encoder writes for that many pixels (16 bytes a pixel, plus
// room for metadata), so that only a file padded with something else, which
// would otherwise be read whole, is refused.
std::uint64_t PlausibleFileBytes(std::uint64_t width, std::uint64_t height) {
  return 16 * width * height + (std::uint64_t(64) << 20);
}

// Whether every chunk of a PNG before its end, other than the image data,
// lies within the file. The decoder allocates a chunk's declared length
// before it reads it: a 5 KB file whose text chunk claims 2 GB would cost
// 2 GB. (Image data is read in pieces and needs no such check.)
bool PngChunksFit(Bytes b) {
  std::size_t pos = 8;
  while (Has(b, pos, 8)) {
    const std::uint64_t length = Be32(b, pos);
    if (StartsWith(b, pos + 4, "IEND")) return true;
    if (length > 0x7FFFFFFFu) return false;
    if (!Has(b, pos + 8, std::size_t(length) + 4)) return StartsWith(b, pos + 4, "IDAT");
    pos += 12 + std::size_t(length);
  }
  return true;
}

std::string SizeText(std::uint64_t width, std::uint64_t height) {
  return std::to_string(width) + " x " + std::to_string(height);
}

cv::ImreadModes ReducedColourMode(int reduction) {
  switch (reduction) {
    case 2: return cv::IMREAD_REDUCED_COLOR_2;
    case 4: return cv::IMREAD_REDUCED_COLOR_4;
    case 8: return cv::IMREAD_REDUCED_COLOR_8;
    default: return cv::IMREAD_COLOR;
  }
}

// The load proper; leaves the image empty and sets the failure on failure.
ImageLoadResult Load(const fs::path& path, const ImageLoadOptions& options) {
  ImageLoadResult result;
  std::string& reason = result.failure;
  RegularFile file;
  if (!OpenPicture(path, file, reason)) return result;

  // The header is checked from the first bytes; the rest is read only for a
  // picture that may be decoded. A header that lies further in (a JPEG with
  // large metadata segments before its frame) is looked for in the whole file.
  constexpr std::size_t kHeaderBytes = std::size_t(1) << 20;
  const auto size = static_cast<std::size_t>(file.Size());
  auto bytes = std::make_optional<std::vector<std::uint8_t>>();
  if (!ReadPictureBytes(file, std::min(size, kHeaderBytes), *bytes, reason)) return result;
  ImageFileHeader header = ProbeImageHeader(*bytes);
  if (header.format == ImageFileFormat::kUnknown && size > bytes->size() && !cv::haveImageReader(path.string())) {
    reason = "unknown or unsupported format";
    return result;
  }
  const bool headerLater = header.format != ImageFileFormat::kUnknown && (header.width == 0 || header.height == 0);
  if (headerLater && size > bytes->size()) {
    if (!ReadPictureBytes(file, size, *bytes, reason)) return result;
    header = ProbeImageHeader(*bytes);
  }

  // Refuse an oversized picture before the decoder allocates for it.
  if (header.format != ImageFileFormat::kUnknown) {
    if (header.width == 0 || header.height == 0) {
      reason = "no picture size in header";
      return result;
    }
    if (!ImageSizeAllowed(header.width, header.height)) {
      reason = "picture too large: " + SizeText(header.width, header.height) + " pixels";
      return result;
    }
    if (file.Size() > PlausibleFileBytes(header.width, header.height)) {
      reason = "file too large for its picture: " + std::to_string(file.Size()) + " bytes for " +
               SizeText(header.width, header.height) + " pixels";
      return result;
    }
  }
  if (size > bytes->size() && !ReadPictureBytes(file, size, *bytes, reason)) return result;
  if (header.format == ImageFileFormat::kPng && !PngChunksFit(*bytes)) {
    reason = "damaged PNG: a chunk claims more bytes than the file holds";
    return result;
  }
  const ImageFileMetadata metadata = ReadImageMetadata(*bytes);

  // IMREAD_UNCHANGED keeps alpha and depth. A big JPEG is decoded at a
  // reduced scale, to colour (JPEG has no alpha). Orientation is applied
  // below in both cases.
  int mode = cv::IMREAD_UNCHANGED;
  if (header.format == ImageFileFormat::kJpeg && options.fitBox) {
    const int reduction = JpegReduction(header.width, header.height, metadata.orientation, *options.fitBox);
    if (reduction > 1) mode = ReducedColourMode(reduction) | cv::IMREAD_IGNORE_ORIENTATION;
  }
  cv::Mat decoded = cv::imdecode(*bytes, mode);
  // OpenCV reads no GIF, and no tiled or floating-point TIFF.
  if (decoded.empty() && header.format == ImageFileFormat::kGif) decoded = DecodeGifFirstFrame(*bytes);
  if (decoded.empty() && header.format == ImageFileFormat::kTiff) decoded = DecodeTiff(*bytes);
  if (decoded.empty()) {
    reason = header.format == ImageFileFormat::kUnknown ? "unknown or unsupported format" : "cannot decode picture";
    return result;
  }
  // Formats without a header probe (OpenEXR, DICOM) were held only by
  // OpenCV's own, far larger limits: its OPENCV_IO_MAX_IMAGE_* variables are
  // read once when the library loads, so they cannot be lowered from here.
  if (!ImageSizeAllowed(std::uint64_t(decoded.cols), std::uint64_t(decoded.rows))) {
    reason = "picture too large: " + SizeText(std::uint64_t(decoded.cols), std::uint64_t(decoded.rows)) + " pixels";
    return result;
  }

  // TIFF files come out of the decoder already turned by their orientation
  // tag (libtiff's reader applies it); turning them here would do it twice.
  const int orientation = header.format == ImageFileFormat::kTiff ? 1 : metadata.orientation;
  cv::Mat colour = ToEightBitColour(decoded, options.keepAlpha);
  if (colour.empty()) {
    reason = "unsupported pixel format";
    return result;
  }
  // The effects work on sRGB. Only a picture with a profile of other
  // colours is converted; the common case costs the search for the profile.
  const EmbeddedIccProfile profile = ReadIccProfile(*bytes);
  std::string colourProblem = profile.problem;
  if (colourProblem.empty() && !profile.bytes.empty())
    colourProblem = ConvertToSrgb(colour, profile.bytes, decoded.channels() <= 2);
  if (!colourProblem.empty()) result.warnings.push_back(colourProblem + "; its colours are taken as sRGB");
  result.image = ApplyExifOrientation(colour, orientation);
  // libjpeg fills in what a file cut short lacks and says so only on its
  // own error stream, which OpenCV does not pass on.
  if (header.format == ImageFileFormat::kJpeg && !JpegHasEndMarker(*bytes))
    result.warnings.push_back("the JPEG file ends before its end marker (cut short?): the missing part of the "
                              "picture is filled in");
  result.title = metadata.title;
  result.description = metadata.description;
  return result;
}

}  // namespace

bool ImageSizeAllowed(std::uint64_t width, std::uint64_t height) {
  if (width == 0 || height == 0 || width > kMaxImageSide || height > kMaxImageSide) return false;
  return width * height <= kMaxImagePixels;  // both sides < 2^16: no overflow
}

ImageFileHeader ProbeImageHeader(Bytes b) {
  ImageFileHeader h;
  if (HasSignature(b, kPngSignature)) {
    h.format = ImageFileFormat::kPng;
    ProbePng(b, h);
  } else if (IsJpeg(b)) {
    h.format = ImageFileFormat::kJpeg;
    const JpegHeader jpeg = ScanJpeg(b);
    h.width = jpeg.width;
    h.height = jpeg.height;
  } else if (StartsWith(b, 0, "BM")) {
    h.format = ImageFileFormat::kBmp;
    ProbeBmp(b, h);
  } else if (StartsWith(b, 0, "GIF87a") || StartsWith(b, 0, "GIF89a")) {
    h.format = ImageFileFormat::kGif;
    if (Has(b, 6, 4)) {
      h.width = Le16(b, 6);
      h.height = Le16(b, 8);
    }
  } else if (StartsWith(b, 0, "RIFF") && StartsWith(b, 8, "WEBP")) {
    h.format = ImageFileFormat::kWebp;
    ProbeWebp(b, h);
  } else if (StartsWith(b, 0, "II*\0") || StartsWith(b, 0, "MM\0*") || StartsWith(b, 0, "II+\0") ||
             StartsWith(b, 0, "MM\0+")) {
    // Big TIFF ("+") is recognised but not sized, so it is refused.
    h.format = ImageFileFormat::kTiff;
    ProbeTiff(b, h);
  } else if (Has(b, 0, 3) && b[0] == 'P' && std::string_view("1234567Ff").find(char(b[1])) != std::string_view::npos &&
             std::isspace(b[2])) {
    h.format = ImageFileFormat::kPnm;
    ProbePnm(b, h);
  } else if (Has(b, 0, 12) && Be32(b, 0) == 0x59A66A95u) {
    h.format = ImageFileFormat::kSunRaster;
    h.width = Be32(b, 4);
    h.height = Be32(b, 8);
  } else if (StartsWith(b, 0, "#?RGBE") || StartsWith(b, 0, "#?RADIANCE")) {
    h.format = ImageFileFormat::kRadiance;
    ProbeRadiance(b, h);
  } else if (Has(b, 0, 4) && Be32(b, 0) == 0xFF4FFF51u) {
    h.format = ImageFileFormat::kJpeg2000;
    ProbeJpeg2000Codestream(b, h);
  } else if (HasSignature(b, kJp2Signature)) {
    h.format = ImageFileFormat::kJpeg2000;
    ProbeJp2(b, h);
  }
  return h;
}

bool JpegHasEndMarker(Bytes b) {
  if (!IsJpeg(b)) return false;
  // Marker segments are stepped over by their length; between them lie the
  // entropy-coded scans, in which a 0xFF byte is followed by a stuffed zero
  // or a restart marker, and only a real marker ends the scan.
  std::size_t pos = 2;
  while (pos < b.size()) {
    const void* ff = std::memchr(b.data() + pos, 0xFF, b.size() - pos);
    if (!ff) return false;
    pos = std::size_t(static_cast<const std::uint8_t*>(ff) - b.data());
    while (pos < b.size() && b[pos] == 0xFF) ++pos;
    if (pos >= b.size()) return false;
    const std::uint8_t marker = b[pos++];
    if (marker == 0xD9) return true;
    if (marker == 0x00 || marker == 0x01 || marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7)) continue;
    if (!Has(b, pos, 2) || Be16(b, pos) < 2) return false;
    pos += Be16(b, pos);
  }
  return false;
}

cv::Size FitInside(cv::Size picture, cv::Size box, bool enlarge) {
  if (picture.width <= 0 || picture.height <= 0) return {0, 0};
  double factor = std::min(static_cast<double>(box.width) / picture.width,
                           static_cast<double>(box.height) / picture.height);
  if (!enlarge) factor = std::min(factor, 1.0);
  return {std::max(1, static_cast<int>(std::lround(picture.width * factor))),
          std::max(1, static_cast<int>(std::lround(picture.height * factor)))};
}

int JpegReduction(std::uint64_t width, std::uint64_t height, int orientation, cv::Size box) {
  if (width == 0 || height == 0 || width > kMaxImageSide || height > kMaxImageSide || box.width <= 0 ||
      box.height <= 0)
    return 1;
  // The box holds the picture upright; orientations 5 to 8 swap its sides.
  if (orientation >= 5 && orientation <= 8) std::swap(width, height);
  const cv::Size fitted = FitInside({int(width), int(height)}, box, false);
  for (const std::uint64_t scale : {8, 4, 2})
    if ((width + scale - 1) / scale >= std::uint64_t(fitted.width) &&
        (height + scale - 1) / scale >= std::uint64_t(fitted.height))
      return int(scale);
  return 1;
}

ImageFileMetadata ReadExifMetadata(Bytes tiffBytes) {
  ImageFileMetadata metadata;
  TiffReader tiff(tiffBytes);
  std::optional<std::string> xpTitle;
  tiff.ForEachIfd0Entry([&](const TiffEntry& entry) {
    switch (entry.tag) {
      case kTagOrientation: {
        const std::uint32_t value = tiff.Unsigned(entry).value_or(1);
        if (value >= 1 && value <= 8) metadata.orientation = int(value);
        break;
      }
      case kTagImageDescription:
        if (entry.type == kTypeAscii) metadata.description = NonEmpty(LenientToUtf8(UpToNulTrimmed(entry.value)));
        break;
      case kTagImageTitle:
        if (entry.type == kTypeAscii) metadata.title = NonEmpty(LenientToUtf8(UpToNulTrimmed(entry.value)));
        break;
      case kTagXpTitle:
        // Windows writes its UTF-16 "XP" fields as BYTE arrays, always little-endian.
        if (entry.type == kTypeByte || entry.type == kTypeUndefined) xpTitle = NonEmpty(Utf16LeToUtf8(entry.value));
        break;
      default:
        break;
    }
  });
  if (!metadata.title) metadata.title = std::move(xpTitle);
  return metadata;
}

ImageFileMetadata ReadImageMetadata(Bytes b) {
  if (IsJpeg(b)) {
    const JpegHeader jpeg = ScanJpeg(b);
    return jpeg.exif.empty() ? ImageFileMetadata{} : ReadExifMetadata(jpeg.exif);
  }
  if (HasSignature(b, kPngSignature)) {
    PngText png = ReadPngChunks(b);
    const Bytes exif = png.exif.empty() ? Bytes(png.rawProfileExif) : png.exif;
    ImageFileMetadata metadata = exif.empty() ? ImageFileMetadata{} : ReadExifMetadata(exif);
    // The PNG's own text chunks say more than a copied EXIF block.
    if (png.title) metadata.title = std::move(png.title);
    if (png.description) metadata.description = std::move(png.description);
    return metadata;
  }
  if (TiffReader(b).Valid()) return ReadExifMetadata(b);
  if (IsWebp(b)) {
    Bytes exif;
    ForEachWebpChunk(b, [&](std::string_view fourcc, Bytes data) {
      if (fourcc == "EXIF" && exif.empty()) exif = WithoutExifHeading(data);
    });
    return exif.empty() ? ImageFileMetadata{} : ReadExifMetadata(exif);
  }
  return {};
}

EmbeddedIccProfile ReadIccProfile(Bytes b) {
  EmbeddedIccProfile found;
  const auto tooLarge = [&](std::size_t size) {
    found.problem = "its colour profile is too large (" + std::to_string(size) + " bytes)";
    found.bytes.clear();
    return found;
  };
  if (IsJpeg(b)) {
    // A profile larger than one segment is split over several, numbered
    // from 1; they are joined in their numbers' order.
    const std::vector<Bytes> parts = ScanJpeg(b).iccParts;
    if (parts.empty()) return found;
    const std::size_t count = parts.front()[13];
    std::vector<Bytes> ordered(count);
    std::size_t total = 0;
    for (const Bytes& part : parts) {
      const std::size_t number = part[12];
      if (part[13] != count || number == 0 || number > count || !ordered[number - 1].empty()) {
        found.problem = "its colour profile is split into parts that do not fit together";
        return found;
      }
      ordered[number - 1] = part.subspan(14);
      total += ordered[number - 1].size();
    }
    if (std::any_of(ordered.begin(), ordered.end(), [](Bytes p) { return p.empty(); })) {
      found.problem = "its colour profile is missing some of its parts";
      return found;
    }
    if (total > kMaxIccProfileBytes) return tooLarge(total);
    found.bytes.reserve(total);
    for (const Bytes& part : ordered) found.bytes.insert(found.bytes.end(), part.begin(), part.end());
    return found;
  }
  if (HasSignature(b, kPngSignature)) {
    // iCCP: profile name, compression method, zlib data.
    std::size_t pos = 8;
    while (Has(b, pos, 8)) {
      const std::size_t length = Be32(b, pos);
      if (!Has(b, pos + 8, length) || StartsWith(b, pos + 4, "IDAT") || StartsWith(b, pos + 4, "IEND")) break;
      if (StartsWith(b, pos + 4, "iCCP")) {
        const Bytes data = b.subspan(pos + 8, length);
        const std::size_t nameEnd = std::find(data.begin(), data.end(), 0) - data.begin();
        if (nameEnd + 2 > data.size() || !Inflate(data.subspan(nameEnd + 2), kMaxIccProfileBytes, found.bytes)) {
          found.bytes.clear();
          found.problem = "its colour profile is damaged or too large";
        }
        return found;
      }
      pos += 12 + length;
    }
    return found;
  }
  if (IsWebp(b)) {
    ForEachWebpChunk(b, [&](std::string_view fourcc, Bytes data) {
      if (fourcc == "ICCP" && found.bytes.empty() && found.problem.empty()) {
        if (data.size() > kMaxIccProfileBytes) tooLarge(data.size());
        else found.bytes.assign(data.begin(), data.end());
      }
    });
    return found;
  }
  TiffReader tiff(b);
  if (tiff.Valid()) {
    tiff.ForEachIfd0Entry([&](const TiffEntry& entry) {
      if (entry.tag != kTagIccProfile || (entry.type != kTypeUndefined && entry.type != kTypeByte)) return;
      if (entry.value.size() > kMaxIccProfileBytes) tooLarge(entry.value.size());
      else found.bytes.assign(entry.value.begin(), entry.value.end());
    });
  }
  return found;
}

cv::Mat ToEightBitColour(const cv::Mat& decoded, bool keepAlpha) {
  if (decoded.empty() || decoded.dims != 2) return {};
  cv::Mat eightBit;
  if (decoded.depth() == CV_8U) {
    eightBit = decoded;
  } else if (decoded.depth() == CV_16F) {
    cv::Mat wide;
    decoded.convertTo(wide, CV_32F);
    wide.convertTo(eightBit, CV_8U, 255.0);
  } else {
    decoded.convertTo(eightBit, CV_8U, EightBitScale(decoded.depth()));
  }

  cv::Mat out;
  switch (eightBit.channels()) {
    case 1:
      cv::cvtColor(eightBit, out, cv::COLOR_GRAY2BGR);
      break;
    case 2: {  // grey and alpha
      out.create(eightBit.size(), keepAlpha ? CV_8UC4 : CV_8UC3);
      const int fromTo[] = {0, 0, 0, 1, 0, 2, 1, 3};
      cv::mixChannels(&eightBit, 1, &out, 1, fromTo, keepAlpha ? 4 : 3);
      break;
    }
    case 3:
      out = eightBit;
      break;
    case 4:
      if (keepAlpha) out = eightBit;
      else cv::cvtColor(eightBit, out, cv::COLOR_BGRA2BGR);
      break;
    default: {  // multi-band pictures: the first three bands as colour
      out.create(eightBit.size(), CV_8UC3);
      const int fromTo[] = {0, 0, 1, 1, 2, 2};
      cv::mixChannels(&eightBit, 1, &out, 1, fromTo, 3);
      break;
    }
  }
  return out;
}

cv::Mat ApplyExifOrientation(const cv::Mat& stored, int orientation) {
  cv::Mat upright;
  switch (orientation) {
    case 2: cv::flip(stored, upright, 1); break;                             // mirrored
    case 3: cv::rotate(stored, upright, cv::ROTATE_180); break;
    case 4: cv::flip(stored, upright, 0); break;                             // upside down, mirrored
    case 5: cv::transpose(stored, upright); break;                           // row 0 is the left side
    case 6: cv::rotate(stored, upright, cv::ROTATE_90_CLOCKWISE); break;     // row 0 is the right side
    case 7: cv::transpose(stored, upright); cv::flip(upright, upright, -1); break;
    case 8: cv::rotate(stored, upright, cv::ROTATE_90_COUNTERCLOCKWISE); break;
    default: upright = stored; break;
  }
  return upright;
}

ImageLoadResult LoadImageFile(const fs::path& path, const ImageLoadOptions& options) {
  ImageLoadResult result;
  try {
    result = Load(path, options);
  } catch (const cv::Exception& e) {
    result = {};
    result.failure = "OpenCV: " + e.err;
  } catch (const std::bad_alloc&) {
    result = {};
    result.failure = "out of memory";
  } catch (const std::exception& e) {
    result = {};
    result.failure = e.what();
  }
  if (result.image.empty()) {
    // A failure hands back nothing but its reason, the line the log gets.
    result = ImageLoadResult{{}, OneLine(std::move(result.failure)), {}, std::nullopt, std::nullopt};
    try {
      LogFailedLoad(path, result.failure);
    } catch (const std::exception&) {
      // The log is a courtesy; failing to write it must not turn a failed
      // load into a crash.
    }
  } else {
    result.failure.clear();
  }
  return result;
}

cv::Mat LoadImageFile(const fs::path& path, std::string* title, std::string* description, bool keepAlpha) {
  ImageLoadOptions options;
  options.keepAlpha = keepAlpha;
  ImageLoadResult result = LoadImageFile(path, options);
  if (title && result.title) *title = std::move(*result.title);
  if (description && result.description) *description = std::move(*result.description);
  return std::move(result.image);
}

}  // namespace grinsnap
