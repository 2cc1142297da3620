#include "app/settings_storage.h"

namespace grinsnap {

std::unique_ptr<CSettingsStorage> CSettingsStorage::BeginList(const std::string& name, std::int32_t& count,
                                                              bool write) {
  std::unique_ptr<CSettingsStorage> list = OpenNested(name);
  if (!list) return nullptr;
  if (!list->Value("Count", count, write)) return nullptr;
  if (!write && count < 0) return nullptr;
  return list;
}

std::unique_ptr<CSettingsStorage> CSettingsStorage::ListObject(CSettingsStorage& list, int index) {
  return list.OpenNested(std::to_string(index));
}

std::string CSettingsStorage::ListItemName(int index) { return "Item." + std::to_string(index); }

bool CSettings::Load(CSettingsStorage& storage) {
  if (!storage.OpenForRead()) return false;
  const bool read = Serialize(false, storage, false);
  const bool closed = storage.CloseAfterRead();
  return read && closed;
}

bool CSettings::Save(CSettingsStorage& storage) {
  if (!storage.OpenForWrite()) return false;
  const bool written = Serialize(true, storage, false);
  // Close even after a failed value: the values that did succeed are kept.
  const bool closed = storage.CloseAfterWrite();
  return written && closed;
}

}  // namespace grinsnap
