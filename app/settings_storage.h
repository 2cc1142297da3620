#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace grinsnap {

class CSettings;

// An abstract store of named, typed values. A settings object serialises
// itself through it value by value; every value operation takes the value's
// name, a reference to the value and the direction (write when true). A read
// changes the reference only when it succeeds.
//
// Text is UTF-8 throughout, so the wide and the 8-bit string forms are one
// operation here.
class CSettingsStorage {
public:
  virtual ~CSettingsStorage() = default;

  // A nested storage of the given name (a sub-key). Null when it cannot be
  // opened: for reading, when it does not exist.
  virtual std::unique_ptr<CSettingsStorage> OpenNested(const std::string& name) = 0;
  // Whether serialisation goes on with the next value after one failed.
  virtual bool ContinueAfterFailure() const = 0;

  virtual bool OpenForWrite() = 0;
  virtual bool CloseAfterWrite() = 0;
  virtual bool OpenForRead() = 0;
  virtual bool CloseAfterRead() = 0;

  virtual bool Value(const std::string& name, std::string& value, bool write) = 0;
  // A nested serialisable object, kept in the nested storage of that name.
  virtual bool Value(const std::string& name, CSettings& object, bool write) = 0;
  virtual bool Value(const std::string& name, float& value, bool write) = 0;
  virtual bool Value(const std::string& name, double& value, bool write) = 0;
  virtual bool Value(const std::string& name, std::uint64_t& value, bool write) = 0;
  virtual bool Value(const std::string& name, std::uint8_t& value, bool write) = 0;
  virtual bool Value(const std::string& name, std::int8_t& value, bool write) = 0;
  virtual bool Value(const std::string& name, std::uint16_t& value, bool write) = 0;
  virtual bool Value(const std::string& name, std::int16_t& value, bool write) = 0;
  virtual bool Value(const std::string& name, std::uint32_t& value, bool write) = 0;
  virtual bool Value(const std::string& name, std::int32_t& value, bool write) = 0;
  // A raw block of bytes; a read replaces the whole block.
  virtual bool Value(const std::string& name, std::vector<std::uint8_t>& block, bool write) = 0;
  virtual bool Value(const std::string& name, std::int64_t& value, bool write) = 0;
  virtual bool Value(const std::string& name, bool& value, bool write) = 0;

  // Lists. A list lives in the nested storage named after it, which holds
  // its "Count"; plain items are the values ListItemName(i) of that storage
  // and object items the nested storages named by their decimal index.
  // BeginList writes count, or reads it; null when the list cannot be opened.
  std::unique_ptr<CSettingsStorage> BeginList(const std::string& name, std::int32_t& count, bool write);
  static std::unique_ptr<CSettingsStorage> ListObject(CSettingsStorage& list, int index);
  static std::string ListItemName(int index);
};

// A serialisable settings object.
class CSettings {
public:
  virtual ~CSettings() = default;

  // With reset, every value goes back to its default and the storage is not
  // touched. Otherwise every value is read or written by name. Reading: a
  // value that is missing or unreadable takes its default and the others are
  // still read; the read succeeds. Writing: every value is attempted and the
  // write fails when any of them failed.
  virtual bool Serialize(bool write, CSettingsStorage& storage, bool reset) = 0;

  // Opens the storage for reading, reads, closes. False when it cannot be opened.
  bool Load(CSettingsStorage& storage);
  // Opens the storage for writing, writes, closes. False when anything failed.
  bool Save(CSettingsStorage& storage);

protected:
  // One value of Serialize: reads or writes it, or resets it. Keeps `ok`
  // false after a failed write and tells whether serialisation continues.
  template <typename T>
  static bool Field(CSettingsStorage& storage, const char* name, T& value, const T& fallback, bool write, bool reset,
                    bool& ok) {
    if (reset) {
      value = fallback;
      return true;
    }
    if (storage.Value(name, value, write)) return true;
    if (write) {
      ok = false;
    } else {
      value = fallback;
    }
    return storage.ContinueAfterFailure();
  }
};

}  // namespace grinsnap
