// "pack" and "install": template packages made from a folder, and installed
// from a file the way a download installs them.
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "app/template_download.h"
#include "app/template_library.h"
#include "app/template_package.h"
#include "cli/arguments.h"
#include "cli/cli_support.h"
#include "cli/commands.h"
#include "core/template_document.h"

namespace grinsnap::cli {

namespace fs = std::filesystem;

namespace {

const std::map<std::string, std::string> kPackageAliases = {{"-o", "--output"}, {"-f", "--force"}};

// The one template document of a folder: .tmpl anywhere below it, or .xml
// directly in it.
fs::path FindDocument(const fs::path& folder) {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    const fs::path& path = it->path();
    if (!it->is_regular_file()) continue;
    if (path.extension() == ".tmpl" || (path.extension() == ".xml" && path.parent_path() == folder)) return path;
  }
  return {};
}

}  // namespace

int RunPack(const std::vector<std::string>& words) {
  const Arguments args(words, {"--output"}, {"--force"}, kPackageAliases);
  if (args.Positional().size() != 1 || !args.Value("--output"))
    throw CliError(kExitUsage, "pack takes one folder and -o PACKAGE", "see 'grinsnap-cli pack --help'");
  const fs::path folder = args.Positional()[0];
  const fs::path package = *args.Value("--output");
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) throw CliError(kExitTemplate, "'" + folder.string() + "' is not a folder");
  // The document must load as a template before it is shipped.
  const fs::path document = FindDocument(folder);
  std::string error;
  if (!document.empty() && !TemplateDocument::FromFile(document, &error))
    throw CliError(kExitTemplate, "'" + document.string() + "' is not a template document: " + error);
  if (fs::exists(package, ec) && !args.Has("--force"))
    throw CliError(kExitOutput, "'" + package.string() + "' exists", "add --force to replace it");
  if (!PackTemplateFolder(folder, package, &error)) throw CliError(kExitOutput, "cannot pack: " + error);
  std::printf("%s\n", package.string().c_str());
  return kExitOk;
}

int RunInstall(const std::vector<std::string>& words) {
  const Arguments args(words, {"--template"}, {}, kPackageAliases);
  if (args.Positional().size() != 1)
    throw CliError(kExitUsage, "install takes one package", "see 'grinsnap-cli install --help'");
  const fs::path package = args.Positional()[0];
  std::error_code ec;
  if (!fs::is_regular_file(package, ec)) throw CliError(kExitTemplate, "'" + package.string() + "' is not a file");

  TemplateLibrary library;
  const LibraryEnvironment environment = LibraryEnvironment::Current();
  if (!library.Read(environment))
    throw CliError(kExitTemplate, "no template library in '" + environment.programFolder.string() + "'",
                   "set GRINSNAP_DATA_DIR to the program's data folder");
  // The online template the package belongs to: named by --template, or the
  // one whose address ends in the package's file name, or whose name the
  // package file carries (as downloads are stored).
  const std::optional<std::string> named = args.Value("--template");
  const std::string wanted = named.value_or(package.stem().string());
  auto fromAddress = [&](const TemplateEntry& entry) {
    const std::string& url = entry.url;
    const std::string file = package.filename().string();
    return !named && url.size() > file.size() && url.compare(url.size() - file.size(), file.size(), file) == 0 &&
           url[url.size() - file.size() - 1] == '/';
  };
  TemplateEntry* target = nullptr;
  std::vector<std::string> online;
  for (const auto& column : library.Columns())
    for (const auto& entry : column->entries) {
      if (!entry->online) continue;
      online.push_back(entry->name);
      if (!target && (fromAddress(*entry) || EqualsIgnoreCase(entry->name, wanted) ||
                      EqualsIgnoreCase(SafeFileName(entry->name), wanted)))
        target = entry.get();
    }
  if (!target) {
    std::string hint = online.empty() ? "the library lists no online templates" : "online templates:";
    for (const std::string& name : online) hint += " '" + name + "'";
    throw CliError(kExitTemplate, "no online template named '" + wanted + "'", hint + "; name one with --template");
  }

  const InstallResult installed = InstallPackage(package, target->directory);
  if (!installed.ok) throw CliError(kExitTemplate, "cannot install '" + package.string() + "': " + installed.error);
  const std::string previous = target->element && target->element->Attribute("filepath")
                                   ? target->element->Attribute("filepath")
                                   : "";
  TemplateLibrary::SetFilePath(*target, installed.filePath);
  std::string error;
  if (!TemplateDocument::FromFile(target->filePath, &error)) {
    TemplateLibrary::SetFilePath(*target, previous);
    throw CliError(kExitTemplate, "the package's template document does not load: " + error);
  }
  TemplateLibrary::SetFlag(*target, TemplateFlag::Downloaded, true);
  if (!library.WriteBack(&error)) throw CliError(kExitOutput, "the template library cannot be saved: " + error);
  std::printf("installed '%s' in %s\n", target->name.c_str(), target->filePath.c_str());
  return kExitOk;
}

}  // namespace grinsnap::cli
