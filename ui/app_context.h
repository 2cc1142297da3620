#pragma once

#include <filesystem>
#include <memory>
#include <set>
#include <string>

#include <QString>

#include "app/language.h"
#include "app/settings.h"
#include "app/site_config.h"
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
  // The product web site (config.cfg); empty in tests that do not set it.
  SiteConfig site;
  // One-time tips the user asked not to see again in this run.
  std::set<int> dismissedTips;
  // Something the program keeps for the user (the library, the settings)
  // could not be written at exit; the process then ends with a failure.
  bool exitWriteFailed = false;

  // An interface text by string id, from the language file or the built-in table.
  std::string Text(int stringId) const;
  QString QText(int stringId) const;
};

class CSettingsStorageIni;

// A save at exit failed: the message box says what failed (headline) and,
// below it, which file or folder and why (reason).
void ShowExitWriteProblem(AppContext& app, const char* headline, const std::string& reason);

// Saves the settings at exit; on failure shows "Save project settings
// error!" with the file and the reason.
bool SaveSettingsAtExit(AppContext& app, CSettingsStorageIni& storage);

// The process's context; valid between its creation in main() and exit.
AppContext& App();
void SetApp(AppContext* app);
// The context when there is one (null before main() made it and in tests
// without one).
AppContext* CurrentApp();

}  // namespace grinsnap
