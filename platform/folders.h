#pragma once

#include <filesystem>
#include <string>

namespace grinsnap {

// The program's folder, where config.cfg, media/, lang/ and the templates lie:
// $GRINSNAP_DATA_DIR when set; else ProgramDataFolderFor the executable's folder.
std::filesystem::path ProgramDataFolder();

// The program's folder for an executable in exeFolder: exeFolder itself when
// it holds config.cfg (the build lays the data out beside the binaries); else
// share/grinsnap beside exeFolder's parent when that holds config.cfg (an
// installed program, wherever its prefix was installed or moved to); else
// share/grinsnap below the prefix the program was configured with.
std::filesystem::path ProgramDataFolderFor(const std::filesystem::path& exeFolder);

// The user's documents folder: $XDG_DOCUMENTS_DIR, else the XDG_DOCUMENTS_DIR
// line of user-dirs.dirs, else ~/Documents.
std::filesystem::path DocumentsFolder();

// Per-user application data ($XDG_DATA_HOME or ~/.local/share, then
// Velmora/Grinsnap): template library copies, downloads, temporary files,
// log.txt. Not created here; writers create it when they need it.
std::filesystem::path AppDataFolder();

// Per-user settings file ($XDG_CONFIG_HOME or ~/.config, then Velmora/Grinsnap.ini).
std::filesystem::path SettingsFile();

// Something the program keeps in the user's folders (the log of failed
// loads, the user's copy of a template list) could not be written there. The
// program goes on without it; the handler, when one is set, tells the user.
// It may be called from any thread, and as often as a write fails.
using UserDataProblemHandler = void (*)(const std::filesystem::path& file, const std::string& reason);
void SetUserDataProblemHandler(UserDataProblemHandler handler);
void ReportUserDataProblem(const std::filesystem::path& file, const std::string& reason);

}  // namespace grinsnap
