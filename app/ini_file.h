#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text_encoding.h"

namespace grinsnap {

// ASCII case-insensitive comparison, as INI section and key names are compared.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
std::string ToLowerAscii(std::string_view text);

// An INI file in memory: bracketed sections holding key=value lines.
//
// Reading follows the classic profile-file rules: lines end at LF, CR or
// CRLF; blanks around section names, keys and values are dropped; a key
// line is split at its first '='; a line that is neither a section nor a key
// line is ignored (so is a key line before the first section). A comment is
// a line without '=' (conventionally starting with ';'); a ';' line with '='
// is an ordinary key that no lookup asks for. Section and key
// names are compared without regard to case, and a lookup uses the first
// section of that name and the first key of that name inside it. Files in
// UTF-16 (with a byte order mark) are converted to UTF-8; a UTF-8 byte order UTF-16 without a mark is told by its first character.
// Any byte sequence parses; nothing in the text can make
// reading fail.
class IniFile {
public:
  struct Entry {
    std::string key;
    std::string value;  // raw: trimmed, quotes kept
  };
  // A comment or other line that no lookup reads, kept for Print: it stood
  // after the first `position` entries of its section.
  struct KeptLine {
    size_t position = 0;
    std::string text;
  };
  struct Section {
    std::string name;
    std::vector<Entry> entries;
    std::vector<KeptLine> keptLines;
  };

  // The longest value a profile lookup returns, in characters.
  static constexpr size_t kMaxValueChars = 1023;

  static IniFile Parse(std::string_view bytes);
  // False (and an empty file) when the file cannot be read.
  bool Load(const std::filesystem::path& path);

  const std::vector<Section>& Sections() const { return sections_; }
  const Section* FindSection(std::string_view name) const;
  // The raw value of a key: trimmed, quotes kept, any length.
  const std::string* FindRaw(std::string_view section, std::string_view key) const;

  // A value as the profile functions return it: trimmed, one pair of
  // enclosing quotes (double or single) removed, cut to kMaxValueChars
  // characters. Empty optional when the section or key is absent.
  std::optional<std::string> ProfileString(std::string_view section, std::string_view key) const;

  // Writing (used by the settings file): sets the first key of that name,
  // or appends it, creating the section at the end when needed. Print keeps
  // the comments and the other lines no lookup reads where they were (blank
  // lines are not kept: Print separates sections by one).
  void SetRaw(std::string_view section, std::string_view key, std::string value);
  Section& EnsureSection(std::string_view name);
  std::string Print() const;

private:
  std::vector<Section> sections_;
  std::vector<std::string> preamble_;  // lines before the first section
};

// Trimmed value without one pair of enclosing quotes, at most
// IniFile::kMaxValueChars characters (a character is one UTF-8 sequence;
// a stray byte counts as one).
std::string ProfileValue(std::string_view raw);

}  // namespace grinsnap
