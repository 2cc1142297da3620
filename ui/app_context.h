#pragma once

#include <filesystem>
#include <memory>
#include <set>
#include <string>

#include <QString>

#include "app/language.h"
#include "app/settings.h"
#include "app/template_library.h"
#include "core/process_engine.h"

namespace grinsnap {

// What the windows share for the life of the process: the settings, the
// interface language, the processing engine and the template library.
// Created by main() before the main window, destroyed after it.
struct AppContext {
  CGRSSettings settings;
  SessionState session;
  std::filesystem::path programFolder;
  std::unique_ptr<CLanguage> language;
  CProcessEngine engine;
  TemplateLibrary library;
  // One-time tips the user asked not to see again in this run.
  std::set<int> dismissedTips;

  // An interface text by string id, from the language file or the built-in table.
  std::string Text(int stringId) const;
  QString QText(int stringId) const;
};

// The process's context; valid between its creation in main() and exit.
AppContext& App();
void SetApp(AppContext* app);

}  // namespace grinsnap
