#include "app/ini_file.h"

#include "app/atomic_file.h"
#include "platform/text_encoding.h"

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
  switch (DetectTextEncoding(bytes)) {
    case TextEncoding::kUtf16Le:
    case TextEncoding::kUtf16Be:
      converted = ToUtf8(bytes);
      bytes = converted;
      break;
    case TextEncoding::kUtf8Bom:
      bytes.remove_prefix(3);
      break;
    case TextEncoding::kUtf8:
      break;
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
    const std::string_view key = equals == std::string_view::npos ? std::string_view() : Trim(line.substr(0, equals));
    if (!current) {
      file.preamble_.emplace_back(line);
    } else if (key.empty()) {
      current->keptLines.push_back(KeptLine{current->entries.size(), std::string(line)});
    } else {
      current->entries.push_back(Entry{std::string(key), std::string(Trim(line.substr(equals + 1)))});
    }
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
  for (const std::string& line : preamble_) out += line + '\n';
  bool first = true;
  for (const Section& section : sections_) {
    if (!first) out += '\n';
    first = false;
    out += '[' + section.name + "]\n";
    size_t kept = 0;
    for (size_t i = 0; i <= section.entries.size(); ++i) {
      for (; kept < section.keptLines.size() && section.keptLines[kept].position <= i; ++kept)
        out += section.keptLines[kept].text + '\n';
      if (i < section.entries.size()) out += section.entries[i].key + '=' + section.entries[i].value + '\n';
    }
  }
  return out;
}

}  // namespace grinsnap
