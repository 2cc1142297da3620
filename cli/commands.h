#pragma once

#include <string>
#include <vector>

namespace grinsnap::cli {

// Each command takes the words after its name and returns the exit code;
// errors travel as CliError.
int RunList(const std::vector<std::string>& words);
int RunApply(const std::vector<std::string>& words);
int RunBatch(const std::vector<std::string>& words);
int RunGallery(const std::vector<std::string>& words);
int RunClasses(const std::vector<std::string>& words);
int RunFaces(const std::vector<std::string>& words);
int RunPack(const std::vector<std::string>& words);
int RunInstall(const std::vector<std::string>& words);

// The text of "grinsnap-cli --help" and of "grinsnap-cli COMMAND --help";
// empty for an unknown command.
std::string MainHelp();
std::string CommandHelp(const std::string& command);
// The options of "faces", without the exit codes.
std::string FacesHelp();

}  // namespace grinsnap::cli
