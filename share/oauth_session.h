#pragma once

#include <string>
#include <utility>
#include <vector>

#include "share/curl_transfer.h"
#include "share/oauth1.h"
#include "share/share_config.h"

namespace grinsnap::share {

// Fields of a form post, in the order they are sent.
using FormFields = std::vector<std::pair<std::string, std::string>>;

// A libcurl handle that makes OAuth 1.0 signed requests with one set of
// credentials, as the Twitter and Flickr clients do.
class OAuthSession {
public:
  OAuthSession(const ShareConfig& config, std::string consumerKey, std::string consumerSecret);

  // A signed GET, or a form POST when form is not empty (the form is part of
  // the signature). True when the transfer worked and the status is 2xx;
  // the reply is in Reply().
  bool Request(const std::string& url, const FormFields& form = {}, const OAuthParams& extraOAuth = {});
  // Takes oauth_token and oauth_token_secret from a form-encoded reply;
  // false when either is missing or the token is empty.
  bool TakeToken(const OAuthParams& reply);

  OAuthCredentials& Credentials() { return credentials_; }
  const std::string& Reply() const { return reply_; }
  std::string& ReplyBuffer() { return reply_; }
  CurlEasy& Curl() { return curl_; }
  const ShareConfig& Config() const { return config_; }

private:
  const ShareConfig& config_;
  CurlEasy curl_;
  char error_[CURL_ERROR_SIZE] = {};
  OAuthCredentials credentials_;
  std::string reply_;
};

// Sends a multipart form on the session's handle with one file part
// streamed from stream; extra headers (the OAuth header) go first.
// True when the transfer worked and the status is 2xx.
struct MultipartFile {
  std::string field;
  std::string contentType;
  std::string fileName;
};
bool PostMultipart(CurlEasy& curl, const ShareConfig& config, const std::string& url,
                   const std::vector<std::string>& headerLines, const FormFields& fields, const MultipartFile& file,
                   FileStream& stream, UploadProgress& progress, std::string& reply);

}  // namespace grinsnap::share
