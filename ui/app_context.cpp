#include "ui/app_context.h"

#include "app/export_rules.h"
#include "app/settings_storage_ini.h"
#include "app/string_table.h"
#include "ui/message_box.h"

namespace grinsnap {

namespace {
AppContext* current = nullptr;
}

AppContext& App() { return *current; }
void SetApp(AppContext* app) { current = app; }
AppContext* CurrentApp() { return current; }

std::string AppContext::Text(int stringId) const {
  if (language) return language->Text(stringId);
  const char* builtin = BuiltinString(stringId);
  return builtin ? builtin : "";
}

QString AppContext::QText(int stringId) const { return QString::fromStdString(Text(stringId)); }

void ShowExitWriteProblem(AppContext& app, const char* headline, const std::string& reason) {
  app.exitWriteFailed = true;
  // The windows are gone by now: the box has no parent.
  ShowMessage(nullptr, QString::fromUtf8(headline) + "\n\n" + QString::fromStdString(reason), kCaptionError);
}

bool SaveSettingsAtExit(AppContext& app, CSettingsStorageIni& storage) {
  if (app.settings.Save(storage)) return true;
  const std::string reason = storage.LastError().empty() ? "some values could not be written to " +
                                                               storage.File().string()
                                                         : storage.LastError();
  ShowExitWriteProblem(app, kSaveSettingsErrorText, reason);
  return false;
}

}  // namespace grinsnap
