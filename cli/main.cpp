// grinsnap-cli: the studio's effects without a display.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include <opencv2/core/utility.hpp>

#include "cli/cli_support.h"
#include "cli/commands.h"
#include "platform/folders.h"
#include "templates/builtin_classes.h"
#include "platform/version.h"

using namespace grinsnap;
using namespace grinsnap::cli;

namespace {

using CommandFunction = int (*)(const std::vector<std::string>&);

struct Command {
  const char* name;
  CommandFunction run;
};

const Command kCommands[] = {
    {"list", RunList}, {"apply", RunApply}, {"batch", RunBatch}, {"gallery", RunGallery}, {"classes", RunClasses},
    {"faces", RunFaces}, {"pack", RunPack}, {"install", RunInstall},
};

int Fail(const CliError& error) {
  std::fprintf(stderr, "grinsnap-cli: %s\n", error.what());
  if (!error.hint.empty()) std::fprintf(stderr, "  %s\n", error.hint.c_str());
  return error.exitCode;
}

}  // namespace

int main(int argc, char** argv) {
  // OpenCV would print its own errors; ours say what to do.
  cv::redirectError([](int, const char*, const char*, const char*, int, void*) { return 0; });
  RegisterBuiltinClasses();
  SetUserDataProblemHandler(NoteUnsavedUserData);
  // GRINSNAP_THREADS=N limits the threads one render uses.
  if (const char* threads = std::getenv("GRINSNAP_THREADS")) {
    const int n = std::atoi(threads);
    if (n >= 1) cv::setNumThreads(n);
  }

  const std::vector<std::string> words(argv + 1, argv + argc);
  if (words.empty()) {
    std::fputs(MainHelp().c_str(), stderr);
    return kExitUsage;
  }
  const std::string& first = words[0];
  if (first == "--help" || first == "-h" || first == "help") {
    if (words.size() > 1 && !CommandHelp(words[1]).empty()) {
      std::fputs(CommandHelp(words[1]).c_str(), stdout);
      return kExitOk;
    }
    std::fputs(MainHelp().c_str(), stdout);
    return kExitOk;
  }
  if (first == "--version" || first == "-V") {
    std::printf("grinsnap-cli %s\n", kVersionText);
    return kExitOk;
  }
  for (const Command& command : kCommands) {
    if (first != command.name) continue;
    const std::vector<std::string> rest(words.begin() + 1, words.end());
    for (const std::string& word : rest)
      if (word == "--help" || word == "-h") {
        std::fputs(CommandHelp(first).c_str(), stdout);
        return kExitOk;
      }
    try {
      return command.run(rest);
    } catch (const CliError& error) {
      return Fail(error);
    } catch (const std::exception& error) {
      return Fail(CliError(kExitOutput, std::string("unexpected error: ") + error.what()));
    }
  }
  return Fail(CliError(kExitUsage, "unknown command '" + first + "'",
                       "the commands are list, apply, batch, gallery, classes, faces, pack and install; see --help"));
}
