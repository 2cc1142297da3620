#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "app/settings_storage.h"
#include "platform/folders.h"

namespace grinsnap {

class IniFile;

// The per-user settings store: one INI file (by default SettingsFile()) in
// which a section stands for a registry key ("Grinsnap", nested keys as
// "Grinsnap\Name") and every value keeps its name and its type:
//   text          name="escaped text"        (\\ \" \n \r \t and \xHH escapes)
//   32-bit word   name=dword:0000002a        (booleans and integers up to 32 bits)
//   binary        name=hex:00,00,80,3f       (float: 4 bytes; double and 64-bit: 8 bytes, little-endian)
// A value stored with another type than the one asked for does not read.
//
// Opening for reading fails when the file or its section is absent. Opening
// for writing keeps whatever else the file holds, its comments included;
// closing after writing replaces the file atomically (through a symbolic
// link, onto the file it names), makes it readable by its owner only, and
// fails when that fails.
class CSettingsStorageIni : public CSettingsStorage {
public:
  static constexpr const char* kRootSection = "Grinsnap";

  explicit CSettingsStorageIni(std::filesystem::path file = SettingsFile(), std::string section = kRootSection);
  ~CSettingsStorageIni() override;

  std::unique_ptr<CSettingsStorage> OpenNested(const std::string& name) override;
  bool ContinueAfterFailure() const override { return true; }

  bool OpenForWrite() override;
  bool CloseAfterWrite() override;
  bool OpenForRead() override;
  bool CloseAfterRead() override;

  bool Value(const std::string& name, std::string& value, bool write) override;
  bool Value(const std::string& name, CSettings& object, bool write) override;
  bool Value(const std::string& name, float& value, bool write) override;
  bool Value(const std::string& name, double& value, bool write) override;
  bool Value(const std::string& name, std::uint64_t& value, bool write) override;
  bool Value(const std::string& name, std::uint8_t& value, bool write) override;
  bool Value(const std::string& name, std::int8_t& value, bool write) override;
  bool Value(const std::string& name, std::uint16_t& value, bool write) override;
  bool Value(const std::string& name, std::int16_t& value, bool write) override;
  bool Value(const std::string& name, std::uint32_t& value, bool write) override;
  bool Value(const std::string& name, std::int32_t& value, bool write) override;
  bool Value(const std::string& name, std::vector<std::uint8_t>& block, bool write) override;
  bool Value(const std::string& name, std::int64_t& value, bool write) override;
  bool Value(const std::string& name, bool& value, bool write) override;

  // Why the last CloseAfterWrite failed (which file or folder, and the
  // system's reason); empty after a successful one.
  const std::string& LastError() const { return shared_->error; }
  const std::filesystem::path& File() const { return shared_->file; }

  // The encodings of the file, exposed for tests and tools.
  static std::string EncodeText(std::string_view text);
  static bool DecodeText(std::string_view raw, std::string& text);

private:
  enum class Mode { Closed, Reading, Writing };
  struct Shared {
    std::filesystem::path file;
    std::unique_ptr<IniFile> ini;
    Mode mode = Mode::Closed;
    std::string error;
  };
  CSettingsStorageIni(std::shared_ptr<Shared> shared, std::string section);

  const std::string* Raw(const std::string& name) const;
  bool Put(const std::string& name, std::string raw);
  bool Word(const std::string& name, std::uint32_t& word, bool write);
  bool Bytes(const std::string& name, void* data, size_t size, bool write);
  template <typename T>
  bool Integer(const std::string& name, T& value, bool write);

  std::shared_ptr<Shared> shared_;
  std::string section_;
};

}  // namespace grinsnap
