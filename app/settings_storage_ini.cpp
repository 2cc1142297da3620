#include "app/settings_storage_ini.h"

#include <cstdio>
#include <cstring>
#include <limits>
#include <system_error>

#include "app/atomic_file.h"
#include "app/ini_file.h"

namespace fs = std::filesystem;

namespace grinsnap {
namespace {

constexpr std::string_view kWordPrefix = "dword:";
constexpr std::string_view kBinaryPrefix = "hex:";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

// A value name must survive the trip through a key=value line unchanged.
bool UsableName(std::string_view name) {
  if (name.empty() || name.front() == '[' || name.front() == ';') return false;
  if (name.front() == ' ' || name.front() == '\t' || name.back() == ' ' || name.back() == '\t') return false;
  return name.find_first_of("=\r\n") == std::string_view::npos;
}

bool ParseWord(std::string_view raw, std::uint32_t& word) {
  if (!StartsWithIgnoreCase(raw, kWordPrefix)) return false;
  const std::string_view digits = raw.substr(kWordPrefix.size());
  if (digits.empty() || digits.size() > 8) return false;
  std::uint32_t value = 0;
  for (char c : digits) {
    const int digit = HexDigit(c);
    if (digit < 0) return false;
    value = value << 4 | static_cast<std::uint32_t>(digit);
  }
  word = value;
  return true;
}

bool ParseBinary(std::string_view raw, std::vector<std::uint8_t>& bytes) {
  if (!StartsWithIgnoreCase(raw, kBinaryPrefix)) return false;
  std::string_view rest = raw.substr(kBinaryPrefix.size());
  std::vector<std::uint8_t> parsed;
  while (!rest.empty()) {
    if (rest.size() < 2) return false;
    const int high = HexDigit(rest[0]);
    const int low = HexDigit(rest[1]);
    if (high < 0 || low < 0) return false;
    parsed.push_back(static_cast<std::uint8_t>(high << 4 | low));
    rest.remove_prefix(2);
    if (rest.empty()) break;
    if (rest.front() != ',' || rest.size() == 1) return false;
    rest.remove_prefix(1);
  }
  bytes = std::move(parsed);
  return true;
}

std::string FormatBinary(const std::uint8_t* data, size_t size) {
  std::string out(kBinaryPrefix);
  char digits[4];
  for (size_t i = 0; i < size; ++i) {
    std::snprintf(digits, sizeof digits, "%02x", data[i]);
    if (i) out += ',';
    out += digits;
  }
  return out;
}

}  // namespace

CSettingsStorageIni::CSettingsStorageIni(fs::path file, std::string section)
    : shared_(std::make_shared<Shared>()), section_(std::move(section)) {
  shared_->file = std::move(file);
}

CSettingsStorageIni::CSettingsStorageIni(std::shared_ptr<Shared> shared, std::string section)
    : shared_(std::move(shared)), section_(std::move(section)) {}

CSettingsStorageIni::~CSettingsStorageIni() = default;

std::string CSettingsStorageIni::EncodeText(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(c));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out + '"';
}

bool CSettingsStorageIni::DecodeText(std::string_view raw, std::string& text) {
  if (raw.size() < 2 || raw.front() != '"' || raw.back() != '"') return false;
  const std::string_view body = raw.substr(1, raw.size() - 2);
  std::string out;
  out.reserve(body.size());
  for (size_t i = 0; i < body.size(); ++i) {
    if (body[i] == '"') return false;
    if (body[i] != '\\') {
      out += body[i];
      continue;
    }
    if (++i >= body.size()) return false;
    switch (body[i]) {
      case '\\': out += '\\'; break;
      case '"': out += '"'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case 'x': {
        if (i + 2 >= body.size()) return false;
        const int high = HexDigit(body[i + 1]);
        const int low = HexDigit(body[i + 2]);
        if (high < 0 || low < 0) return false;
        out += static_cast<char>(high << 4 | low);
        i += 2;
        break;
      }
      default: return false;
    }
  }
  text = std::move(out);
  return true;
}

std::unique_ptr<CSettingsStorage> CSettingsStorageIni::OpenNested(const std::string& name) {
  if (!UsableName(name) || name.find(']') != std::string::npos || !shared_->ini) return nullptr;
  std::string nested = section_ + "\\" + name;
  if (shared_->mode == Mode::Reading) {
    if (!shared_->ini->FindSection(nested)) return nullptr;
  } else if (shared_->mode == Mode::Writing) {
    shared_->ini->EnsureSection(nested);
  } else {
    return nullptr;
  }
  return std::unique_ptr<CSettingsStorage>(new CSettingsStorageIni(shared_, std::move(nested)));
}

bool CSettingsStorageIni::OpenForRead() {
  auto ini = std::make_unique<IniFile>();
  if (!ini->Load(shared_->file) || !ini->FindSection(section_)) return false;
  shared_->ini = std::move(ini);
  shared_->mode = Mode::Reading;
  return true;
}

bool CSettingsStorageIni::CloseAfterRead() {
  const bool wasOpen = shared_->mode == Mode::Reading;
  shared_->mode = Mode::Closed;
  return wasOpen;
}

bool CSettingsStorageIni::OpenForWrite() {
  auto ini = std::make_unique<IniFile>();
  ini->Load(shared_->file);  // keeps the values this program does not know
  ini->EnsureSection(section_);
  shared_->ini = std::move(ini);
  shared_->mode = Mode::Writing;
  return true;
}

bool CSettingsStorageIni::CloseAfterWrite() {
  if (shared_->mode != Mode::Writing) return false;
  shared_->mode = Mode::Closed;
  shared_->error.clear();
  // The folder of the file a link points to is the one that must exist.
  const fs::path target = WriteTarget(shared_->file);
  std::error_code ec;
  if (target.has_parent_path() && !fs::is_directory(target.parent_path(), ec)) {
    fs::create_directories(target.parent_path(), ec);
    if (ec) {
      shared_->error = "cannot create the folder " + target.parent_path().string() + ": " + ec.message();
      return false;
    }
  }
  // The file holds the remembered share password: readable by its owner
  // only, also when an older file was readable by others.
  return WriteFileAtomically(shared_->file, shared_->ini->Print(), &shared_->error, 0600, FileModeRule::kAlways);
}

const std::string* CSettingsStorageIni::Raw(const std::string& name) const {
  if (shared_->mode != Mode::Reading || !shared_->ini) return nullptr;
  return shared_->ini->FindRaw(section_, name);
}

bool CSettingsStorageIni::Put(const std::string& name, std::string raw) {
  if (shared_->mode != Mode::Writing || !shared_->ini || !UsableName(name)) return false;
  shared_->ini->SetRaw(section_, name, std::move(raw));
  return true;
}

bool CSettingsStorageIni::Word(const std::string& name, std::uint32_t& word, bool write) {
  if (write) {
    char text[24];
    std::snprintf(text, sizeof text, "dword:%08x", static_cast<unsigned>(word));
    return Put(name, text);
  }
  const std::string* raw = Raw(name);
  return raw && ParseWord(*raw, word);
}

bool CSettingsStorageIni::Bytes(const std::string& name, void* data, size_t size, bool write) {
  if (write) return Put(name, FormatBinary(static_cast<const std::uint8_t*>(data), size));
  const std::string* raw = Raw(name);
  std::vector<std::uint8_t> bytes;
  if (!raw || !ParseBinary(*raw, bytes) || bytes.size() != size) return false;
  std::memcpy(data, bytes.data(), size);
  return true;
}

// Integers up to 32 bits share the 32-bit word; signed values are stored in
// two's complement. A stored word that does not fit the asked type does not read.
template <typename T>
bool CSettingsStorageIni::Integer(const std::string& name, T& value, bool write) {
  static_assert(sizeof(T) <= 4);
  std::uint32_t word = static_cast<std::uint32_t>(static_cast<std::int64_t>(value));
  if (!Word(name, word, write)) return false;
  if (write) return true;
  const std::int64_t wide = std::numeric_limits<T>::is_signed ? static_cast<std::int64_t>(static_cast<std::int32_t>(word))
                                                              : static_cast<std::int64_t>(word);
  if (wide < static_cast<std::int64_t>(std::numeric_limits<T>::min()) ||
      wide > static_cast<std::int64_t>(std::numeric_limits<T>::max()))
    return false;
  value = static_cast<T>(wide);
  return true;
}

bool CSettingsStorageIni::Value(const std::string& name, std::string& value, bool write) {
  if (write) return Put(name, EncodeText(value));
  const std::string* raw = Raw(name);
  return raw && DecodeText(*raw, value);
}

bool CSettingsStorageIni::Value(const std::string& name, CSettings& object, bool write) {
  std::unique_ptr<CSettingsStorage> nested = OpenNested(name);
  return nested && object.Serialize(write, *nested, false);
}

bool CSettingsStorageIni::Value(const std::string& name, float& value, bool write) {
  return Bytes(name, &value, sizeof value, write);
}
bool CSettingsStorageIni::Value(const std::string& name, double& value, bool write) {
  return Bytes(name, &value, sizeof value, write);
}
bool CSettingsStorageIni::Value(const std::string& name, std::uint64_t& value, bool write) {
  return Bytes(name, &value, sizeof value, write);
}
bool CSettingsStorageIni::Value(const std::string& name, std::int64_t& value, bool write) {
  return Bytes(name, &value, sizeof value, write);
}
bool CSettingsStorageIni::Value(const std::string& name, std::uint8_t& value, bool write) {
  return Integer(name, value, write);
}
bool CSettingsStorageIni::Value(const std::string& name, std::int8_t& value, bool write) {
  return Integer(name, value, write);
}
bool CSettingsStorageIni::Value(const std::string& name, std::uint16_t& value, bool write) {
  return Integer(name, value, write);
}
bool CSettingsStorageIni::Value(const std::string& name, std::int16_t& value, bool write) {
  return Integer(name, value, write);
}
bool CSettingsStorageIni::Value(const std::string& name, std::uint32_t& value, bool write) {
  return Word(name, value, write);
}
bool CSettingsStorageIni::Value(const std::string& name, std::int32_t& value, bool write) {
  return Integer(name, value, write);
}

bool CSettingsStorageIni::Value(const std::string& name, std::vector<std::uint8_t>& block, bool write) {
  if (write) return Put(name, FormatBinary(block.data(), block.size()));
  const std::string* raw = Raw(name);
  return raw && ParseBinary(*raw, block);
}

bool CSettingsStorageIni::Value(const std::string& name, bool& value, bool write) {
  std::uint32_t word = value ? 1 : 0;
  if (!Word(name, word, write)) return false;
  if (!write) value = word != 0;
  return true;
}

}  // namespace grinsnap
