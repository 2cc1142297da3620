// grinsnap: the desktop studio.
//
// Start-up: settings, interface language, main window (whose work area
// reads the template library); shutdown: the window goes (workers stopped,
// library written back), then the settings are saved. A failed write is
// shown in a message box and makes the exit code 1.
#include <cstdio>

#include <QApplication>
#include <QIcon>
#include <QScreen>
#include <QStringList>

#include "app/settings_storage_ini.h"
#include "app/system_language.h"
#include "templates/builtin_classes.h"
#include "platform/folders.h"
#include "platform/version.h"
#include "ui/app_context.h"
#include "ui/command_line.h"
#include "ui/main_window.h"
#include "ui/option_panes.h"
#include "ui/work_area.h"

using namespace grinsnap;

int main(int argc, char** argv) {
  RegisterBuiltinClasses();
  RegisterUiClasses();
  QApplication application(argc, argv);
  QApplication::setApplicationName("Grinsnap");
  QApplication::setOrganizationName("Velmora");
  QApplication::setApplicationVersion(kVersionText);
  // The desktop file and the icon are installed under this name; the
  // desktop shell matches the window to them by it. Without an installed
  // icon the theme's generic one for graphics programs stands in.
  QGuiApplication::setDesktopFileName("com.velmora.Grinsnap");
  QApplication::setWindowIcon(QIcon::fromTheme("com.velmora.Grinsnap", QIcon::fromTheme("applications-graphics")));
  // --help and --version end here, before any window or setting.
  const DesktopCommandLine commandLine = ParseDesktopCommandLine(application);
  for (const QString& ignored : commandLine.ignored)
    std::fprintf(stderr, "grinsnap: '%s' is not a local file; only local photos can be added\n",
                 ignored.toUtf8().constData());

  AppContext app;
  SetApp(&app);
  app.programFolder = ProgramDataFolder();
  app.site = SiteConfig::Read(app.programFolder);

  ScreenRect workArea{0, 0, 1280, 800};
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect r = screen->availableGeometry();
    workArea = {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
  }
  app.session.workArea = workArea;
  CSettingsStorageIni storage;
  app.settings.LoadAtStart(storage, workArea, DocumentsFolder());

  const auto langFolder = app.programFolder / "lang";
  ResolveLanguageAtStart(app.settings, langFolder, SystemDefaultLangId());
  app.language = std::make_unique<CLanguage>(langFolder, app.settings);

  int result = 0;
  {
    MainWindow window(app);
    // The rectangle stays the one to go back to from the maximised state.
    if (app.settings.maximized)
      window.showMaximized();
    else
      window.show();
    // Pictures named on the command line are added to the photo list;
    // "--template NAME" starts with that template chosen.
    if (!commandLine.photos.isEmpty()) window.Work().AddPhotos(commandLine.photos);
    const QString& templateName = commandLine.templateName;
    if (!templateName.isEmpty() && !window.Work().SelectTemplateByName(templateName.toStdString()))
      std::fprintf(stderr, "grinsnap: no template named '%s'\n", templateName.toUtf8().constData());
    result = QApplication::exec();
  }
  SaveSettingsAtExit(app, storage);
  SetApp(nullptr);
  // A run whose library or settings could not be kept did not end well.
  return result != 0 ? result : (app.exitWriteFailed ? 1 : 0);
}
