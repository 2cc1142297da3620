#include "share/pixhaven_api.h"

#include <cstdio>
#include <ctime>
#include <iostream>
#include <random>

namespace grinsnap::share {

PixhavenReply ParsePixhavenReply(const std::string& text) {
  PixhavenReply reply;
  const auto first = text.find('\n');
  reply.code = std::atoi(text.substr(0, first).c_str());
  if (first == std::string::npos) return reply;
  const auto second = text.find('\n', first + 1);
  reply.message = text.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
  if (second == std::string::npos) return reply;
  const auto third = text.find('\n', second + 1);
  reply.detail = text.substr(second + 1, third == std::string::npos ? std::string::npos : third - second - 1);
  return reply;
}

PixhavenApi::PixhavenApi(ShareConfig config, std::string cookieFile, Notify notify)
    : config_(std::move(config)), cookieFile_(std::move(cookieFile)), notify_(std::move(notify)) {
  if (!notify_) {
    notify_ = [](const std::string& text, const std::string& caption) { std::cerr << caption << ": " << text << "\n"; };
  }
  if (!curl_) notify_("Init upload handle failed", "Upload Failed");
}

std::string PixhavenApi::MakeSessionId() {
  static thread_local std::mt19937 generator{std::random_device{}()};
  char text[32];
  std::snprintf(text, sizeof text, "%x%03x", static_cast<unsigned>(std::time(nullptr) & 0xFFFFFFFFu),
                static_cast<unsigned>(generator() % 1000));
  return text;
}

bool PixhavenApi::Login(const std::string& account, const std::string& password) {
  if (!curl_) return false;
  CURL* h = curl_.get();
  curl_.Reset(config_);
  reply_.clear();
  const std::string endpoint = Endpoint();
  const std::string userPassword = account + ":" + password;
  curl_easy_setopt(h, CURLOPT_URL, endpoint.c_str());
  curl_easy_setopt(h, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
  curl_easy_setopt(h, CURLOPT_USERPWD, userPassword.c_str());
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error_);
  // An empty name keeps the session cookie in memory only.
  curl_easy_setopt(h, CURLOPT_COOKIEFILE, cookieFile_.c_str());
  if (!cookieFile_.empty()) curl_easy_setopt(h, CURLOPT_COOKIEJAR, cookieFile_.c_str());
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &AppendToString);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &reply_);
  const CURLcode result = curl_easy_perform(h);
  // The password is not kept on the handle past the login.
  curl_easy_setopt(h, CURLOPT_USERPWD, nullptr);
  return result == CURLE_OK && curl_.ResponseCode() == 200;
}

bool PixhavenApi::PostForm(const std::string& body) {
  CURL* h = curl_.get();
  reply_.clear();
  curl_easy_setopt(h, CURLOPT_MIMEPOST, nullptr);
  curl_easy_setopt(h, CURLOPT_POST, 1L);
  curl_easy_setopt(h, CURLOPT_READFUNCTION, nullptr);
  curl_easy_setopt(h, CURLOPT_READDATA, nullptr);
  curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE, -1L);
  curl_easy_setopt(h, CURLOPT_COPYPOSTFIELDS, body.c_str());
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 1L);
  return curl_easy_perform(h) == CURLE_OK && curl_.ResponseCode() == 200;
}

bool PixhavenApi::Upload(const std::string& file, const std::string& message, const std::string& title,
                         const std::string& tag, bool isPrivate) {
  if (!curl_) return false;
  CURL* h = curl_.get();
  const std::string sid = MakeSessionId();

  FileStream stream(cancel_, 8192);
  if (!stream.Open(file)) return false;
  stream.ReportProgressOnRead(progress_, progressContext_);

  // The cookie engine keeps the session cookie of the login; only the
  // request options are set anew.
  const std::string endpoint = Endpoint();
  curl_easy_setopt(h, CURLOPT_URL, endpoint.c_str());
  curl_slist* headers = curl_slist_append(nullptr, "Expect:");
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &AppendToString);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &reply_);
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error_);

  curl_mime* form = curl_mime_init(h);
  curl_mimepart* part = curl_mime_addpart(form);
  curl_mime_name(part, "sid");
  curl_mime_data(part, sid.c_str(), CURL_ZERO_TERMINATED);
  part = curl_mime_addpart(form);
  curl_mime_name(part, "action");
  curl_mime_data(part, "upload", CURL_ZERO_TERMINATED);
  part = curl_mime_addpart(form);
  curl_mime_name(part, "filename[]");
  curl_mime_type(part, "binary");
  curl_mime_filename(part, FileNameOf(file).c_str());
  curl_mime_data_cb(part, stream.Size(), &FileStream::Read, nullptr, nullptr, &stream);
  curl_easy_setopt(h, CURLOPT_MIMEPOST, form);
  // Progress comes from the reads; this only watches the cancel flag.
  UploadProgress watch{nullptr, nullptr, &cancel_};
  watch.Install(h);

  reply_.clear();
  const CURLcode result = curl_easy_perform(h);
  bool accepted = false;
  bool cancelled = false;
  if (result != CURLE_OK) {
    cancelled = result == CURLE_ABORTED_BY_CALLBACK;
  } else if (curl_.ResponseCode() == 200) {
    const PixhavenReply reply = ParsePixhavenReply(reply_);
    if (reply.code == kCodeAccepted) {
      accepted = true;
    } else {
      notify_(reply_, "Upload Failed");
      cancelled = reply.code == kCodeRefused;
    }
  }

  curl_easy_setopt(h, CURLOPT_MIMEPOST, nullptr);
  curl_mime_free(form);
  stream.Close();

  if (cancelled) {
    PostForm("action=canceled");
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(headers);
    return false;
  }
  bool ok = false;
  if (accepted) {
    // The values go in as the user typed them: the service reads them so.
    std::string body = "sid=" + sid + "&action=finished";
    if (!title.empty()) body += "&title=" + title;
    if (!message.empty()) body += "&description=" + message;
    if (!tag.empty()) body += "&tag=" + tag;
    body += std::string("&privacy=") + (isPrivate ? "private" : "public");
    if (PostForm(body)) {
      ok = true;
      const PixhavenReply reply = ParsePixhavenReply(reply_);
      if (reply.code == kCodeFinished) {
        const auto comma = reply.message.find(',');
        if (comma != std::string::npos) albumUrl_ = reply.message.substr(0, comma);
      }
    }
  }
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, nullptr);
  curl_slist_free_all(headers);
  return ok;
}

}  // namespace grinsnap::share
