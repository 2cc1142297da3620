#pragma once

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>

#include "app/http_transfer.h"
#include "app/site_config.h"

namespace grinsnap {

class MessageTarget;

inline constexpr const char* kProductName = "Grinsnap";
// The descriptor's section, spelled as the published file spells it.
inline constexpr const char* kVersionSection = "Gerneral";

// What the update descriptor says; missing keys read as 0.
struct VersionDescriptor {
  int version = 0;
  int build = 0;
};
VersionDescriptor ReadVersionDescriptor(const std::filesystem::path& file);

// The window that receives version check results: the update dialog while it
// is open, else the main window, or none (results are then dropped). Any
// thread may post to it; setting it and posting are ordered by one lock, so
// a target that was cleared receives nothing afterwards.
void SetVersionResultTarget(MessageTarget* target);
MessageTarget* VersionResultTarget();

// The texts a failed check reports, in the interface language of the moment
// the check starts.
struct VersionCheckTexts {
  std::string checkFailed;  // string 148: product name, reason
  std::string httpFailed;   // string 151: address, status code
};

// One check on its own thread: fetches the descriptor of the site into the
// local copy (replaced only by a complete download), compares its version
// with the program's, and posts one result to the result target. The
// destructor cancels a transfer still running and waits for the thread.
class VersionCheck {
public:
  VersionCheck(SiteConfig site, std::filesystem::path localCopy, int programVersion, VersionCheckTexts texts,
               TransferOptions options = {});
  ~VersionCheck();
  VersionCheck(const VersionCheck&) = delete;
  VersionCheck& operator=(const VersionCheck&) = delete;

  void Start();

  // The check done on the calling thread: the message and its parameters
  // that Start posts. For tests and the command line.
  struct Outcome {
    std::uint32_t message = 0;
    int version = 0;
    int build = 0;
    std::string error;
  };
  Outcome Run() const;

private:
  SiteConfig site_;
  std::filesystem::path localCopy_;
  int programVersion_ = 0;
  VersionCheckTexts texts_;
  TransferOptions options_;
  std::atomic<bool> cancel_{false};
  std::thread thread_;
};

// Where the descriptor is kept: the application data folder's version.ini.
std::filesystem::path VersionDescriptorCopy();

}  // namespace grinsnap
