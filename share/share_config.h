#pragma once

#include <string>

namespace grinsnap::share {

// The addresses each client talks to. They are configuration values (the
// desktop program reads overrides from its share configuration file), which
// is also how the tests point the clients at a local fake service.
struct ShareConfig {
  std::string pixhavenRoot = "https://album.grinsnap.example";
  std::string twitterWeb = "https://api.twitter.com";
  std::string twitterApi = "https://api.twitter.com";
  std::string twitterHome = "https://twitter.com/";
  std::string facebookWeb = "https://www.facebook.com";
  std::string facebookGraph = "https://graph.facebook.com";
  std::string facebookHome = "https://www.facebook.com/";
  // The page Facebook sends the browser to when no loopback listener is used.
  std::string facebookRedirect = "https://www.facebook.com/connect/login_success.html";
  std::string flickrWeb = "https://www.flickr.com";
  std::string flickrUpload = "https://up.flickr.com";
  std::string flickrHome = "https://www.flickr.com/";
  std::string flickrCallback = "https://www.grinsnap.example/";
  // The address drawn on uploaded pictures.
  std::string watermark = "www.grinsnap.example";
  // Certificate checks stay on; only a test against a local fake turns them off.
  bool verifyPeer = true;
};

}  // namespace grinsnap::share
