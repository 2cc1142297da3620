#pragma once

#include <QApplication>

namespace grinsnap::test {

// The one QApplication of a widget test executable, made on first use and
// never destroyed: Qt's input devices would otherwise be torn down in the
// wrong order at exit. Tests run with QT_QPA_PLATFORM=offscreen (set by
// CTest; set here too when the executable is started by hand).
inline QApplication& QtApp() {
  static int argc = 1;
  static char name[] = "grinsnap-tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(argc, argv);
  }();
  return *app;
}

}  // namespace grinsnap::test
