#include "fake_service.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <curl/curl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace grinsnap::test {

namespace {

std::size_t Append(char* data, std::size_t size, std::size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

std::string Get(const std::string& url, std::string* location = nullptr) {
  CURL* h = curl_easy_init();
  std::string body;
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Append);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &body);
  curl_easy_perform(h);
  if (location) {
    char* value = nullptr;
    curl_easy_getinfo(h, CURLINFO_REDIRECT_URL, &value);
    *location = value ? value : "";
  }
  curl_easy_cleanup(h);
  return body;
}

}  // namespace

FakeService::FakeService() {
  int in[2], out[2];
  if (pipe(in) != 0 || pipe(out) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, in[1]);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::string script = GRINSNAP_FAKE_SERVICES;
  char python[] = "python3";
  char* argv[] = {python, script.data(), nullptr};
  if (posix_spawnp(&pid_, "python3", &actions, nullptr, argv, environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  stdinFd_ = in[1];
  std::string line;
  char c = 0;
  while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
  close(out[0]);
  port_ = std::atoi(line.c_str());
}

FakeService::~FakeService() {
  if (stdinFd_ >= 0) close(stdinFd_);
  if (pid_ > 0) {
    int status = 0;
    waitpid(pid_, &status, 0);
  }
}

share::ShareConfig FakeService::Config() const {
  share::ShareConfig config;
  config.pixhavenRoot = Base();
  config.twitterWeb = Base() + "/tw";
  config.twitterApi = Base() + "/tw";
  config.twitterHome = Base() + "/tw/home";
  config.facebookWeb = Base() + "/fb";
  config.facebookGraph = Base() + "/fb";
  config.facebookHome = Base() + "/fb/home";
  config.facebookRedirect = Base() + "/fb/connect/login_success.html";
  config.flickrWeb = Base() + "/fl";
  config.flickrUpload = Base() + "/fl";
  config.flickrHome = Base() + "/fl/home";
  config.flickrCallback = Base() + "/fl/callback";
  return config;
}

void FakeService::Scenario(const std::string& name) const { Get(Base() + "/_control/scenario?name=" + name); }

std::string FakeService::Log() const { return Get(Base() + "/_control/log"); }

std::string FakeService::RedirectOf(const std::string& url) const {
  std::string location;
  Get(url, &location);
  return location;
}

}  // namespace grinsnap::test
