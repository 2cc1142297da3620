#include "share/flick_api.h"

#include "share/twit_api.h"

namespace grinsnap::share {

FlickApi::FlickApi(ShareConfig config)
    : config_(std::move(config)), callback_(config_.flickrCallback), session_(config_, kApiKey, kSharedSecret) {}

bool FlickApi::PrepareAuthorization() {
  authorized_ = false;
  session_.Credentials().token.clear();
  session_.Credentials().tokenSecret.clear();
  if (!session_.Request(config_.flickrWeb + "/services/oauth/request_token", {}, {{"oauth_callback", callback_}}))
    return false;
  const auto values = ParseFormEncoded(session_.Reply());
  const auto confirmed = values.find("oauth_callback_confirmed");
  if (confirmed == values.end() || confirmed->second != "true") return false;
  return session_.TakeToken(values);
}

std::string FlickApi::GetAuthorizationUrl() {
  if (session_.Credentials().token.empty()) return {};
  return config_.flickrWeb + "/services/oauth/authorize?oauth_token=" + PercentEncode(session_.Credentials().token) +
         "&perms=write";
}

NavigationResult FlickApi::OnBrowserNavigated(const std::string& url) {
  static const std::string kVerifier = "oauth_verifier=";
  const auto at = url.find(kVerifier);
  if (at == std::string::npos || session_.Credentials().token.empty()) return NavigationResult::KeepBrowsing;
  // The verifier runs to the next parameter or the fragment, if any.
  const auto from = at + kVerifier.size();
  const std::string verifier = PercentDecode(url.substr(from, url.find_first_of("&#", from) - from));
  if (verifier.empty()) return NavigationResult::KeepBrowsing;
  if (!session_.Request(config_.flickrWeb + "/services/oauth/access_token", {}, {{"oauth_verifier", verifier}}))
    return NavigationResult::KeepBrowsing;
  const auto values = ParseFormEncoded(session_.Reply());
  if (!session_.TakeToken(values)) return NavigationResult::KeepBrowsing;
  const auto name = values.find("username");
  userName_ = name == values.end() ? std::string() : name->second;
  authorized_ = true;
  return NavigationResult::Authorized;
}

bool FlickApi::Upload(const std::string& file, const std::string& message, const std::string& title,
                      const std::string& tag, bool isPrivate) {
  photoId_.clear();
  if (!authorized_) return false;
  FileStream stream(cancel_, 1024);
  if (!stream.Open(file)) return false;
  const std::string url = config_.flickrUpload + "/services/upload/";
  // Every field but the photo is signed; the signed oauth parameters travel
  // in the header.
  const FormFields fields{{"title", title},         {"description", message}, {"tags", tag},
                          {"is_public", isPrivate ? "0" : "1"}, {"is_friend", "1"}, {"is_family", "1"}};
  const auto signedRequest =
      SignRequest("POST", url, session_.Credentials(), OAuthParams(fields.begin(), fields.end()));
  if (!PostMultipart(session_.Curl(), config_, url, {signedRequest.authorization}, fields,
                     {"photo", "application/octet-stream", FileNameOf(file)}, stream, progress_,
                     session_.ReplyBuffer()))
    return false;
  const std::string& reply = session_.Reply();
  if (reply.find("stat=\"ok\"") == std::string::npos) return false;
  photoId_ = TextBetween(reply, "<photoid>", "</photoid>");
  return !photoId_.empty();
}

}  // namespace grinsnap::share
