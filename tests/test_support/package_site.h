#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace grinsnap::test {

// The test packages (good and hostile ones, made by package_server.py) in a
// folder of their own, made once per test program; a fresh copy is not
// needed because nothing writes there.
const std::filesystem::path& TestPackages();

// A web site on 127.0.0.1 (package_server.py on a free port) serving a
// folder: /files/NAME, /redirect/N/NAME, /slow/NAME, /stall/NAME, /loop,
// /ftp; everything else is 404. Stopped when the object goes.
class PackageSite {
public:
  explicit PackageSite(std::filesystem::path folder = TestPackages());
  ~PackageSite();
  PackageSite(const PackageSite&) = delete;
  PackageSite& operator=(const PackageSite&) = delete;

  bool Running() const { return port_ > 0; }
  // "http://127.0.0.1:PORT" followed by path.
  std::string Url(std::string_view path = {}) const;
  const std::filesystem::path& Folder() const { return folder_; }

private:
  std::filesystem::path folder_;
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace grinsnap::test
