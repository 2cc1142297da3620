#pragma once

#include <string>

#include <sys/types.h>

#include "share/share_config.h"

namespace grinsnap::test {

// The fake share services (fake_services.py) running as a child process on
// 127.0.0.1; it ends when this object closes its standard input.
class FakeService {
public:
  FakeService();
  ~FakeService();
  FakeService(const FakeService&) = delete;
  FakeService& operator=(const FakeService&) = delete;

  bool Running() const { return port_ > 0; }
  std::string Base() const { return "http://127.0.0.1:" + std::to_string(port_); }
  // Every client's addresses pointed at the fake.
  share::ShareConfig Config() const;
  // Chooses how the fake answers from now on and clears its log.
  void Scenario(const std::string& name) const;
  // What the fake saw since the scenario was chosen, one event a line.
  std::string Log() const;
  // A plain GET without following redirects; the Location header's value.
  std::string RedirectOf(const std::string& url) const;

private:
  pid_t pid_ = -1;
  int stdinFd_ = -1;
  int port_ = 0;
};

}  // namespace grinsnap::test
