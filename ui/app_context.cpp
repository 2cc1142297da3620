#include "ui/app_context.h"

#include "app/string_table.h"

namespace grinsnap {

namespace {
AppContext* current = nullptr;
}

AppContext& App() { return *current; }
void SetApp(AppContext* app) { current = app; }

std::string AppContext::Text(int stringId) const {
  if (language) return language->Text(stringId);
  const char* builtin = BuiltinString(stringId);
  return builtin ? builtin : "";
}

QString AppContext::QText(int stringId) const { return QString::fromStdString(Text(stringId)); }

}  // namespace grinsnap
