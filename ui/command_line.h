#pragma once

#include <QString>
#include <QStringList>

class QCoreApplication;

namespace grinsnap {

// What the desktop program was asked to do on its command line.
struct DesktopCommandLine {
  QStringList photos;     // local paths, file: URLs turned into paths
  QString templateName;   // --template NAME; empty when not given
  QStringList ignored;    // arguments that name no local file (other URLs), to be reported
};

// Reads the command line with Qt's conventions: --help and --version print
// and end the program, an unknown option is an error that ends it, photos
// may be given as paths or file: URLs (as file managers pass them).
DesktopCommandLine ParseDesktopCommandLine(const QCoreApplication& application);

// The arguments (without the program's name) as photos: file: URLs become
// local paths; URLs of other schemes go to ignored.
void SortPhotoArguments(const QStringList& arguments, DesktopCommandLine& line);

}  // namespace grinsnap
