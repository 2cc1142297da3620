#include "app/ini_file.h"

#include "app/atomic_file.h"

namespace grinsnap {
namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

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

// Length of the UTF-8 sequence starting at text[i]; 1 for a byte that does
// not start a complete, well-formed sequence.
size_t SequenceLength(std::string_view text, size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  size_t length = 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
  }
  if (i + length > text.size()) return 1;
  for (size_t k = 1; k < length; ++k) {
    if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 1;
  }
  return length;
}

}  // namespace

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

std::string ToLowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = LowerAscii(c);
  return out;
}

std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
  std::string out;
  out.reserve(bytes.size());
  const size_t units = bytes.size() / 2;
  auto unit = [&](size_t i) -> char32_t {
    const auto b0 = static_cast<unsigned char>(bytes[2 * i]);
    const auto b1 = static_cast<unsigned char>(bytes[2 * i + 1]);
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

std::string ProfileValue(std::string_view raw) {
  std::string_view value = Trim(raw);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  size_t end = 0;
  for (size_t chars = 0; end < value.size() && chars < IniFile::kMaxValueChars; ++chars) {
    end += SequenceLength(value, end);
  }
  return std::string(value.substr(0, end));
}

IniFile IniFile::Parse(std::string_view bytes) {
  std::string converted;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
    converted = Utf16ToUtf8(bytes.substr(2), false);
    bytes = converted;
  } else if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE &&
             static_cast<unsigned char>(bytes[1]) == 0xFF) {
    converted = Utf16ToUtf8(bytes.substr(2), true);
    bytes = converted;
  } else if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    bytes.remove_prefix(3);
  }

  IniFile file;
  Section* current = nullptr;
  size_t pos = 0;
  while (pos < bytes.size()) {
    size_t end = bytes.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = bytes.size();
    const std::string_view line = Trim(bytes.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty()) continue;
    if (line.front() == '[') {
      const size_t close = line.find(']');
      const std::string_view name = Trim(line.substr(1, close == std::string_view::npos ? line.npos : close - 1));
      file.sections_.push_back(Section{std::string(name), {}});
      current = &file.sections_.back();
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos || !current) continue;
    const std::string_view key = Trim(line.substr(0, equals));
    if (key.empty()) continue;
    current->entries.push_back(Entry{std::string(key), std::string(Trim(line.substr(equals + 1)))});
  }
  return file;
}

bool IniFile::Load(const std::filesystem::path& path) {
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) {
    sections_.clear();
    return false;
  }
  *this = Parse(bytes);
  return true;
}

const IniFile::Section* IniFile::FindSection(std::string_view name) const {
  for (const Section& section : sections_) {
    if (EqualsIgnoreCase(section.name, name)) return &section;
  }
  return nullptr;
}

const std::string* IniFile::FindRaw(std::string_view section, std::string_view key) const {
  const Section* found = FindSection(section);
  if (!found) return nullptr;
  for (const Entry& entry : found->entries) {
    if (EqualsIgnoreCase(entry.key, key)) return &entry.value;
  }
  return nullptr;
}

std::optional<std::string> IniFile::ProfileString(std::string_view section, std::string_view key) const {
  const std::string* raw = FindRaw(section, key);
  if (!raw) return std::nullopt;
  return ProfileValue(*raw);
}

IniFile::Section& IniFile::EnsureSection(std::string_view name) {
  for (Section& section : sections_) {
    if (EqualsIgnoreCase(section.name, name)) return section;
  }
  sections_.push_back(Section{std::string(name), {}});
  return sections_.back();
}

void IniFile::SetRaw(std::string_view section, std::string_view key, std::string value) {
  Section& target = EnsureSection(section);
  for (Entry& entry : target.entries) {
    if (EqualsIgnoreCase(entry.key, key)) {
      entry.value = std::move(value);
      return;
    }
  }
  target.entries.push_back(Entry{std::string(key), std::move(value)});
}

std::string IniFile::Print() const {
  std::string out;
  for (const Section& section : sections_) {
    if (!out.empty()) out += '\n';
    out += '[' + section.name + "]\n";
    for (const Entry& entry : section.entries) out += entry.key + '=' + entry.value + '\n';
  }
  return out;
}

}  // namespace grinsnap
