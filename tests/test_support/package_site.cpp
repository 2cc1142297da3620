#include "test_support/package_site.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>
#include <vector>

#include "test_support/test_support.h"

extern char** environ;

namespace grinsnap::test {

namespace fs = std::filesystem;

namespace {

pid_t Spawn(const std::vector<std::string>& words) {
  std::vector<char*> argv;
  for (const std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  return pid;
}

int Wait(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

const fs::path& TestPackages() {
  static const fs::path folder = [] {
    fs::path made = FreshFolder("packages");
    const pid_t pid = Spawn({GRINSNAP_PYTHON3, GRINSNAP_PACKAGE_SERVER, "make", made.string()});
    if (pid < 0 || Wait(pid) != 0) made.clear();
    return made;
  }();
  return folder;
}

PackageSite::PackageSite(fs::path folder) : folder_(std::move(folder)) {
  if (folder_.empty()) return;
  static int sites = 0;
  const fs::path portFile = TempHome() / ("site-port-" + std::to_string(getpid()) + "-" + std::to_string(++sites));
  fs::remove(portFile);
  pid_ = Spawn({GRINSNAP_PYTHON3, GRINSNAP_PACKAGE_SERVER, "serve", folder_.string(), portFile.string()});
  if (pid_ < 0) return;
  // The server writes its port once it listens.
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < until) {
    std::ifstream in(portFile);
    if (in >> port_) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  fs::remove(portFile);
}

PackageSite::~PackageSite() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    Wait(pid_);
  }
}

std::string PackageSite::Url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

}  // namespace grinsnap::test
