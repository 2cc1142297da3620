#include "share/fb_api.h"

#include <algorithm>
#include <cstdio>

#include "share/oauth1.h"

namespace grinsnap::share {

FBApi::FBApi(ShareConfig config) : config_(std::move(config)), redirect_(config_.facebookRedirect) {}

std::string FBApi::GetAuthorizationUrl() {
  return config_.facebookWeb + "/dialog/oauth?client_id=" + kClientId + "&redirect_uri=" + PercentEncode(redirect_) +
         "&type=user_agent&display=popup&scope=offline_access,user_photos,publish_stream&response_type=token";
}

NavigationResult FBApi::OnBrowserNavigated(const std::string& url) {
  static const std::string kTokenStart = "#access_token=";
  static const std::string kTokenEnd = "&expires_in=";
  const auto start = url.find(kTokenStart);
  if (start != std::string::npos) {
    const auto from = start + kTokenStart.size();
    const auto end = url.find(kTokenEnd, from);
    if (end != std::string::npos && end > from) {
      token_ = url.substr(from, end - from);
      return NavigationResult::Authorized;
    }
  }
  if (url.find(redirect_ + "?error_reason=user_denied") != std::string::npos) return NavigationResult::Refused;
  return NavigationResult::KeepBrowsing;
}

bool FBApi::Perform(const std::string& url) {
  CURL* h = curl_.get();
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &AppendToString);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &reply_);
  reply_.clear();
  const CURLcode result = curl_easy_perform(h);
  const long status = curl_.ResponseCode();
  return result == CURLE_OK && status >= 200 && status < 300;
}

bool FBApi::Upload(const std::string& file, const std::string& message, const std::string&, const std::string&,
                   bool) {
  if (!curl_ || token_.empty()) return false;
  FileStream stream(cancel_, 1024);
  if (!stream.Open(file)) return false;
  CURL* h = curl_.get();
  const std::string token = PercentEncode(token_);

  curl_.Reset(config_);
  curl_mime* form = curl_mime_init(h);
  curl_mimepart* part = curl_mime_addpart(form);
  curl_mime_name(part, "message");
  curl_mime_type(part, "text");
  curl_mime_data(part, message.c_str(), CURL_ZERO_TERMINATED);
  part = curl_mime_addpart(form);
  curl_mime_name(part, "source");
  curl_mime_type(part, "file");
  // The file's own name only: its folder would tell the service the user's home.
  curl_mime_filename(part, FileNameOf(file).c_str());
  curl_mime_data_cb(part, stream.Size(), &FileStream::Read, nullptr, nullptr, &stream);
  curl_easy_setopt(h, CURLOPT_MIMEPOST, form);
  curl_slist* headers = curl_slist_append(nullptr, "Expect:");
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
  progress_.Install(h);
  const bool posted = Perform(config_.facebookGraph + "/me/photos?access_token=" + token);
  curl_easy_setopt(h, CURLOPT_MIMEPOST, nullptr);
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, nullptr);
  curl_mime_free(form);
  curl_slist_free_all(headers);
  stream.Close();
  if (!posted) return false;
  const std::string id = JsonValue(reply_, "id");
  if (id.empty()) return false;

  curl_.Reset(config_);
  if (!Perform(config_.facebookGraph + "/" + PercentEncode(id) + "?access_token=" + token)) return false;
  std::string link = JsonValue(reply_, "link");
  link.erase(std::remove(link.begin(), link.end(), '\\'), link.end());

  curl_.Reset(config_);
  const std::string body = "name=" + PercentEncode(message) + "&message=" + PercentEncode(message) +
                           "&link=" + PercentEncode(link) + "&include_hidden=true";
  curl_easy_setopt(h, CURLOPT_POST, 1L);
  curl_easy_setopt(h, CURLOPT_COPYPOSTFIELDS, body.c_str());
  if (!Perform(config_.facebookGraph + "/me/feed?access_token=" + token)) return false;
  return !JsonValue(reply_, "id").empty();
}

}  // namespace grinsnap::share
