#include "share/oauth_session.h"

namespace grinsnap::share {

OAuthSession::OAuthSession(const ShareConfig& config, std::string consumerKey, std::string consumerSecret)
    : config_(config) {
  credentials_.consumerKey = std::move(consumerKey);
  credentials_.consumerSecret = std::move(consumerSecret);
}

bool OAuthSession::Request(const std::string& url, const FormFields& form, const OAuthParams& extraOAuth) {
  if (!curl_) return false;
  CURL* h = curl_.get();
  curl_.Reset(config_);
  reply_.clear();
  const bool post = !form.empty();
  const OAuthParams signedForm(form.begin(), form.end());
  const auto signedRequest = SignRequest(post ? "POST" : "GET", url, credentials_, signedForm, extraOAuth);
  curl_slist* headers = curl_slist_append(nullptr, signedRequest.authorization.c_str());
  if (post) {
    std::string body;
    for (const auto& [name, value] : form) {
      if (!body.empty()) body += '&';
      body += PercentEncode(name) + "=" + PercentEncode(value);
    }
    curl_easy_setopt(h, CURLOPT_COPYPOSTFIELDS, body.c_str());
  }
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error_);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &AppendToString);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &reply_);
  const CURLcode result = curl_easy_perform(h);
  const long status = curl_.ResponseCode();
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, nullptr);
  curl_slist_free_all(headers);
  // A refused signature comes back as 401; treating it as a success would
  // carry an empty token into the next step.
  return result == CURLE_OK && status >= 200 && status < 300;
}

bool OAuthSession::TakeToken(const OAuthParams& reply) {
  const auto token = reply.find("oauth_token");
  const auto secret = reply.find("oauth_token_secret");
  if (token == reply.end() || secret == reply.end() || token->second.empty()) return false;
  credentials_.token = token->second;
  credentials_.tokenSecret = secret->second;
  return true;
}

bool PostMultipart(CurlEasy& curl, const ShareConfig& config, const std::string& url,
                   const std::vector<std::string>& headerLines, const FormFields& fields, const MultipartFile& file,
                   FileStream& stream, UploadProgress& progress, std::string& reply) {
  if (!curl) return false;
  CURL* h = curl.get();
  curl.Reset(config);
  reply.clear();
  curl_slist* headers = nullptr;
  for (const auto& line : headerLines) headers = curl_slist_append(headers, line.c_str());
  // No 100-continue round trip before the body.
  headers = curl_slist_append(headers, "Expect:");

  curl_mime* form = curl_mime_init(h);
  for (const auto& [name, value] : fields) {
    curl_mimepart* part = curl_mime_addpart(form);
    curl_mime_name(part, name.c_str());
    curl_mime_data(part, value.c_str(), CURL_ZERO_TERMINATED);
  }
  curl_mimepart* part = curl_mime_addpart(form);
  curl_mime_name(part, file.field.c_str());
  curl_mime_type(part, file.contentType.c_str());
  curl_mime_filename(part, file.fileName.c_str());
  curl_mime_data_cb(part, stream.Size(), &FileStream::Read, nullptr, nullptr, &stream);

  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(h, CURLOPT_MIMEPOST, form);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &AppendToString);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &reply);
  progress.Install(h);
  const CURLcode result = curl_easy_perform(h);
  const long status = curl.ResponseCode();
  curl_easy_setopt(h, CURLOPT_MIMEPOST, nullptr);
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, nullptr);
  curl_mime_free(form);
  curl_slist_free_all(headers);
  return result == CURLE_OK && status >= 200 && status < 300;
}

}  // namespace grinsnap::share
