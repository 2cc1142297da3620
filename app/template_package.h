#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace grinsnap {

// A template package is a zip archive whose entries are laid out relative to
// a template directory: usually one folder holding the template document
// (".tmpl"), its resources and a thumbnail.

// What an archive may hold before it is refused unread. The defaults are far
// above any real template package; tests lower them.
struct UnpackLimits {
  std::uint64_t maxEntries = 4096;
  std::uint64_t maxTotalBytes = 256ull << 20;  // unpacked, all entries together
};

// Why an entry name cannot be unpacked; empty when it can. A name must be a
// relative path of '/'-separated components: no leading '/', no '\' (read
// as a separator elsewhere), no drive letter or other ':', no "." or ".."
// component, no empty component, no control characters. A leading "./" is
// allowed and stands for nothing.
std::string EntryNameProblem(std::string_view name);

// What the archive name of a template document becomes in template.cfg: the
// name with '\' separators, after ".\" (the template directory).
std::string TemplateFilePathFromEntryName(std::string_view name);

struct UnpackResult {
  bool ok = false;
  std::string error;         // why it failed: the entry and the reason
  std::string templateEntry;  // the last entry whose name ends in ".tmpl"
  std::vector<std::string> entries;  // the names unpacked, as stored
};

// Unpacks a package into folder (which must exist and should be empty): the
// whole archive is checked first - entry count, the sizes it declares, every
// name, no symbolic links, devices or encrypted entries, no name twice - and
// only then are files written, each no larger than it declared and with
// the permissions of an ordinary file. A package without a ".tmpl" entry
// fails. cancel, when set, stops the unpacking between blocks. On failure the
// folder may hold part of the archive; the caller removes it.
UnpackResult UnpackPackage(const std::filesystem::path& package, const std::filesystem::path& folder,
                           const UnpackLimits& limits = {}, const std::atomic<bool>* cancel = nullptr);

struct InstallResult {
  bool ok = false;
  std::string error;
  std::string filePath;  // the template document for template.cfg: ".\folder\name.tmpl"
};

// Installs a package into a template directory: unpacks it into a staging
// folder inside the directory, and only when that succeeded moves its
// top-level files and folders into the directory, replacing earlier ones of
// the same names (which come back if a move fails). A failed or cancelled
// install leaves the directory as it was. A package may not replace the
// directory's template.cfg or its "thumbs" folder.
InstallResult InstallPackage(const std::filesystem::path& package, const std::filesystem::path& templateDirectory,
                             const UnpackLimits& limits = {}, const std::atomic<bool>* cancel = nullptr);

// Makes a package of a template folder: every regular file below it, under
// the folder's name. The folder must hold exactly one template document
// (".tmpl", or ".xml", which is stored as ".tmpl"). The package is written
// to a temporary file and renamed into place. False, with the reason, when
// the folder is not usable or the package cannot be written.
bool PackTemplateFolder(const std::filesystem::path& folder, const std::filesystem::path& package,
                        std::string* error);

}  // namespace grinsnap
