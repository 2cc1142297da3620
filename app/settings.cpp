#include "app/settings.h"

namespace grinsnap {

bool CGRSSettings::Serialize(bool write, CSettingsStorage& storage, bool reset) {
  const CGRSSettings defaults;
  bool ok = true;
  // Field returns false only when the storage asks to stop after a failure.
  Field(storage, "language", language, defaults.language, write, reset, ok) &&
      Field(storage, "languageAuto", languageAuto, defaults.languageAuto, write, reset, ok) &&
      Field(storage, "wndleft", wndLeft, defaults.wndLeft, write, reset, ok) &&
      Field(storage, "wndtop", wndTop, defaults.wndTop, write, reset, ok) &&
      Field(storage, "wndright", wndRight, defaults.wndRight, write, reset, ok) &&
      Field(storage, "wndbottom", wndBottom, defaults.wndBottom, write, reset, ok) &&
      Field(storage, "PhotoShareMessage", photoShareMessage, defaults.photoShareMessage, write, reset, ok) &&
      Field(storage, "PhotoTag", photoTag, defaults.photoTag, write, reset, ok) &&
      Field(storage, "Private", privateShare, defaults.privateShare, write, reset, ok) &&
      Field(storage, "username", username, defaults.username, write, reset, ok) &&
      Field(storage, "password", password, defaults.password, write, reset, ok) &&
      Field(storage, "remacc", remacc, defaults.remacc, write, reset, ok) &&
      Field(storage, "export", exportPath, defaults.exportPath, write, reset, ok) &&
      Field(storage, "wndmaximized", maximized, defaults.maximized, write, reset, ok);
  return ok;
}

bool CGRSSettings::LoadAtStart(CSettingsStorage& storage, const ScreenRect& workArea,
                               const std::filesystem::path& documents) {
  Serialize(false, storage, true);
  const bool loaded = Load(storage);
  ApplyWindowRule(workArea);
  ApplyExportDefault(documents);
  return loaded;
}

bool CGRSSettings::SensibleWindowRect(const ScreenRect& rect) {
  for (const std::int32_t edge : {rect.left, rect.top, rect.right, rect.bottom})
    if (edge < -kMaxWindowCoordinate || edge > kMaxWindowCoordinate) return false;
  return rect.Width() >= 0 && rect.Height() >= 0;
}

void CGRSSettings::ApplyWindowRule(const ScreenRect& workArea) {
  const bool firstRun = wndLeft == 0 && wndTop == 0 && wndRight == 0 && wndBottom == 0;
  if (!firstRun && SensibleWindowRect(WindowRect())) return;
  wndLeft = (workArea.right - workArea.left - kFirstRunWidth) / 2;
  wndTop = (workArea.bottom - workArea.top - kFirstRunHeight) / 2;
  wndRight = wndLeft + kFirstRunWidth;
  wndBottom = wndTop + kFirstRunHeight;
}

void CGRSSettings::ApplyExportDefault(const std::filesystem::path& documents) {
  if (!exportPath.empty()) return;
  exportPath = (documents / "Grinsnap" / "Untitled.jpg").string();
}

bool CGRSSettings::StoreWindowRect(const ScreenRect& rect) {
  if (rect.Width() < kMinimumWidth || rect.Height() < kMinimumHeight) return false;
  wndLeft = rect.left;
  wndTop = rect.top;
  wndRight = rect.right;
  wndBottom = rect.bottom;
  return true;
}

ShareDialogValues CGRSSettings::ShareDefaults() const {
  return {username, password, remacc != 0, photoShareMessage, photoTag, privateShare};
}

void CGRSSettings::TakeShareDialogResult(const ShareDialogValues& values) {
  remacc = values.remember ? 1 : 0;
  if (values.remember) {
    username = values.username;
    password = values.password;
  } else {
    username.clear();
    password.clear();
  }
  photoShareMessage = values.message;
  photoTag = values.tag;
  privateShare = values.privateShare;
}

}  // namespace grinsnap
