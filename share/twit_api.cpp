#include "share/twit_api.h"

namespace grinsnap::share {

namespace {

constexpr const char* kAuthenticityMarker = "authenticity_token\" type=\"hidden\" value=\"";
constexpr const char* kTokenMarker = "oauth_token\" type=\"hidden\" value=\"";
constexpr const char* kFieldEnd = "\" />";
constexpr const char* kPinStart = "code-desc\"><code>";
constexpr const char* kPinEnd = "</code>";

}  // namespace

std::string TextBetween(const std::string& text, const std::string& after, const std::string& until) {
  const auto start = text.find(after);
  if (start == std::string::npos) return {};
  const auto from = start + after.size();
  const auto end = text.find(until, from);
  if (end == std::string::npos) return {};
  return text.substr(from, end - from);
}

TwitApi::TwitApi(ShareConfig config) : config_(std::move(config)), session_(config_, kConsumerKey, kConsumerSecret) {}

bool TwitApi::RequestToken() {
  session_.Credentials().token.clear();
  session_.Credentials().tokenSecret.clear();
  if (!session_.Request(WebUrl("/oauth/request_token"))) return false;
  if (!session_.TakeToken(ParseFormEncoded(session_.Reply()))) return false;
  authorizeUrl_ = WebUrl("/oauth/authorize?oauth_token=") + PercentEncode(session_.Credentials().token);
  return true;
}

bool TwitApi::ObtainPin() {
  verifier_.clear();
  if (authorizeUrl_.empty() || !session_.Request(authorizeUrl_)) return false;
  const std::string authenticity = TextBetween(session_.Reply(), kAuthenticityMarker, kFieldEnd);
  const std::string pageToken = TextBetween(session_.Reply(), kTokenMarker, kFieldEnd);
  if (authenticity.empty()) return false;
  const FormFields form{{"oauth_token", pageToken},
                        {"authenticity_token", authenticity},
                        {"session[username_or_email]", user_},
                        {"session[password]", password_}};
  if (!session_.Request(authorizeUrl_, form)) return false;
  verifier_ = TextBetween(session_.Reply(), kPinStart, kPinEnd);
  return !verifier_.empty();
}

bool TwitApi::AccessToken() {
  if (verifier_.empty()) return false;
  if (!session_.Request(WebUrl("/oauth/access_token"), {}, {{"oauth_verifier", verifier_}})) return false;
  const auto values = ParseFormEncoded(session_.Reply());
  if (!session_.TakeToken(values)) return false;
  const auto name = values.find("screen_name");
  screenName_ = name == values.end() ? std::string() : name->second;
  return true;
}

bool TwitApi::VerifyCredentials() { return session_.Request(ApiUrl("/1/account/verify_credentials")); }

bool TwitApi::Login(const std::string& account, const std::string& password) {
  user_ = account;
  password_ = password;
  const bool ok = RequestToken() && ObtainPin() && AccessToken() && VerifyCredentials();
  // The password was only needed for the authorisation page.
  password_.clear();
  return ok;
}

bool TwitApi::Upload(const std::string& file, const std::string& message, const std::string&, const std::string&,
                     bool) {
  if (file.empty() || session_.Credentials().token.empty()) return false;
  FileStream stream(cancel_, 1024);
  if (!stream.Open(file)) return false;
  const std::string url = ApiUrl("/1.1/statuses/update_with_media");
  // The multipart body is not part of the signature. The part carries the
  // file's own name: its folder would tell the service the user's home.
  const auto signedRequest = SignRequest("POST", url, session_.Credentials());
  // A refused update (an expired token, a picture too large) comes back as
  // an HTTP error; counting it as shared would tell the user a lie.
  return PostMultipart(session_.Curl(), config_, url, {signedRequest.authorization}, {{"status", message}},
                       {"media[]", "application/octet-stream", FileNameOf(file)}, stream, progress_, session_.ReplyBuffer());
}

}  // namespace grinsnap::share
