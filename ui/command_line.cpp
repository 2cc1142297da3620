#include "ui/command_line.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QUrl>

namespace grinsnap {

void SortPhotoArguments(const QStringList& arguments, DesktopCommandLine& line) {
  for (const QString& argument : arguments) {
    // "scheme:" of two letters or more is a URL; one letter could be a
    // drive-like name of a relative path and stays a path.
    const qsizetype colon = argument.indexOf(':');
    const QUrl url(argument);
    if (colon > 1 && url.isValid() && !url.scheme().isEmpty() && !argument.startsWith('/')) {
      if (url.isLocalFile()) line.photos.append(url.toLocalFile());
      else line.ignored.append(argument);
    } else {
      line.photos.append(argument);
    }
  }
}

DesktopCommandLine ParseDesktopCommandLine(const QCoreApplication& application) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QCoreApplication::translate(
      "main", "Grinsnap, the photo-effects studio: photos, effect templates and pictures made from them."));
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption templateOption(QStringLiteral("template"),
                                          QCoreApplication::translate("main", "Start with the template <name> chosen."),
                                          QStringLiteral("name"));
  parser.addOption(templateOption);
  parser.addPositionalArgument(QStringLiteral("photos"),
                               QCoreApplication::translate("main", "Photos to add to the photo list: paths or file: URLs."),
                               QStringLiteral("[photos...]"));
  parser.process(application);
  DesktopCommandLine line;
  line.templateName = parser.value(templateOption);
  SortPhotoArguments(parser.positionalArguments(), line);
  return line;
}

}  // namespace grinsnap
