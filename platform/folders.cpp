#include "platform/folders.h"

#include <pwd.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <sstream>
#include <string>
#include <system_error>

#include "platform/files.h"

#ifndef GRINSNAP_INSTALL_PREFIX
#define GRINSNAP_INSTALL_PREFIX "/usr/local"
#endif

namespace fs = std::filesystem;

namespace grinsnap {
namespace {

constexpr const char* kVendorFolder = "Velmora";
constexpr const char* kProductFolder = "Grinsnap";
// The file that marks a folder as the program's data folder, and where an
// installed program keeps that folder below its prefix.
constexpr const char* kDataMarker = "config.cfg";
constexpr const char* kInstalledDataFolder = "share/grinsnap";

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

// $HOME, else the home folder of the user's account.
fs::path HomeFolder() {
  std::string home = Env("HOME");
  if (!home.empty()) return home;
  passwd account{};
  passwd* found = nullptr;
  char buffer[4096];
  if (::getpwuid_r(::getuid(), &account, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir &&
      *found->pw_dir)
    return found->pw_dir;
  return fs::path("/tmp");
}

std::atomic<UserDataProblemHandler> userDataProblemHandler{nullptr};

// An XDG base folder: the variable when it names an absolute path, else the
// fallback below the home folder.
fs::path XdgBase(const char* variable, const char* fallbackBelowHome) {
  std::string value = Env(variable);
  if (!value.empty() && fs::path(value).is_absolute()) return value;
  return HomeFolder() / fallbackBelowHome;
}

fs::path ExecutableFolder() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : exe.parent_path();
}

// Reads XDG_DOCUMENTS_DIR="$HOME/..." from user-dirs.dirs.
fs::path DocumentsFromUserDirs() {
  std::string text;
  if (!ReadRegularFile(XdgBase("XDG_CONFIG_HOME", ".config") / "user-dirs.dirs", text)) return {};
  std::istringstream in(text);
  std::string line;
  const std::string key = "XDG_DOCUMENTS_DIR=";
  while (std::getline(in, line)) {
    if (line.rfind(key, 0) != 0) continue;
    std::string value = line.substr(key.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    const std::string homeVar = "$HOME";
    if (value.rfind(homeVar, 0) == 0) value = HomeFolder().string() + value.substr(homeVar.size());
    if (!value.empty() && fs::path(value).is_absolute()) return value;
  }
  return {};
}

}  // namespace

fs::path ProgramDataFolder() {
  std::string overridden = Env("GRINSNAP_DATA_DIR");
  if (!overridden.empty()) return overridden;
  return ProgramDataFolderFor(ExecutableFolder());
}

fs::path ProgramDataFolderFor(const fs::path& exeFolder) {
  std::error_code ec;
  if (!exeFolder.empty()) {
    if (fs::is_regular_file(exeFolder / kDataMarker, ec)) return exeFolder;
    // /proc/self/exe names the real file, so a prefix installed into a
    // temporary folder, a package root or a moved tree finds its own data
    // rather than the configured prefix's.
    const fs::path beside = exeFolder.parent_path() / kInstalledDataFolder;
    if (fs::is_regular_file(beside / kDataMarker, ec)) return beside;
  }
  return fs::path(GRINSNAP_INSTALL_PREFIX) / kInstalledDataFolder;
}

fs::path DocumentsFolder() {
  std::string value = Env("XDG_DOCUMENTS_DIR");
  if (!value.empty() && fs::path(value).is_absolute()) return value;
  fs::path fromFile = DocumentsFromUserDirs();
  if (!fromFile.empty()) return fromFile;
  return HomeFolder() / "Documents";
}

fs::path AppDataFolder() {
  return XdgBase("XDG_DATA_HOME", ".local/share") / kVendorFolder / kProductFolder;
}

fs::path SettingsFile() {
  return XdgBase("XDG_CONFIG_HOME", ".config") / kVendorFolder / (std::string(kProductFolder) + ".ini");
}

void SetUserDataProblemHandler(UserDataProblemHandler handler) { userDataProblemHandler = handler; }

void ReportUserDataProblem(const fs::path& file, const std::string& reason) {
  if (const UserDataProblemHandler handler = userDataProblemHandler) handler(file, reason);
}

}  // namespace grinsnap
