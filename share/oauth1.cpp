#include "share/oauth1.h"

#include <array>
#include <chrono>
#include <random>

#include <openssl/evp.h>
#include <openssl/hmac.h>

namespace grinsnap::share {

namespace {

bool Unreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string PercentEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() * 3);
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (Unreserved(c)) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
  return out;
}

std::string PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int hi = HexValue(text[i + 1]);
      const int lo = HexValue(text[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

std::string Base64(std::string_view bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3), '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
  out.resize(static_cast<std::size_t>(n));
  return out;
}

std::string HmacSha1(std::string_view key, std::string_view message) {
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int length = 0;
  HMAC(EVP_sha1(), key.data(), static_cast<int>(key.size()), reinterpret_cast<const unsigned char*>(message.data()),
       message.size(), digest.data(), &length);
  return std::string(reinterpret_cast<const char*>(digest.data()), length);
}

std::map<std::string, std::string> ParseFormEncoded(std::string_view text) {
  std::map<std::string, std::string> out;
  while (!text.empty()) {
    const auto amp = text.find('&');
    const std::string_view pair = text.substr(0, amp);
    if (!pair.empty()) {
      const auto eq = pair.find('=');
      std::string name = PercentDecode(pair.substr(0, eq));
      std::string value = eq == std::string_view::npos ? std::string() : PercentDecode(pair.substr(eq + 1));
      out.emplace(std::move(name), std::move(value));
    }
    if (amp == std::string_view::npos) break;
    text.remove_prefix(amp + 1);
  }
  return out;
}

std::string SignatureBaseString(std::string_view method, std::string_view url, const OAuthParams& params) {
  std::string joined;
  for (const auto& [name, value] : params) {
    if (!joined.empty()) joined += '&';
    joined += PercentEncode(name);
    joined += '=';
    joined += PercentEncode(value);
  }
  const std::string_view base = url.substr(0, url.find('?'));
  std::string out(method);
  out += '&';
  out += PercentEncode(base);
  out += '&';
  out += PercentEncode(joined);
  return out;
}

std::string Signature(const std::string& baseString, const OAuthCredentials& credentials) {
  const std::string key = PercentEncode(credentials.consumerSecret) + "&" + PercentEncode(credentials.tokenSecret);
  return Base64(HmacSha1(key, baseString));
}

std::string MakeNonce() {
  static thread_local std::mt19937_64 generator{std::random_device{}()};
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (int word = 0; word < 2; ++word) {
    std::uint64_t bits = generator();
    for (int i = 0; i < 16; ++i, bits >>= 4) out += kHex[bits & 0xF];
  }
  return out;
}

SignedRequest SignRequest(std::string_view method, std::string_view url, const OAuthCredentials& credentials,
                          const OAuthParams& form, const OAuthParams& extraOAuth, const std::string& nonce,
                          const std::string& timestamp) {
  SignedRequest out;
  out.oauth = extraOAuth;
  out.oauth["oauth_consumer_key"] = credentials.consumerKey;
  out.oauth["oauth_nonce"] = nonce;
  out.oauth["oauth_signature_method"] = "HMAC-SHA1";
  out.oauth["oauth_timestamp"] = timestamp;
  if (!credentials.token.empty()) out.oauth["oauth_token"] = credentials.token;
  out.oauth["oauth_version"] = "1.0";

  OAuthParams all = form;
  const auto query = url.find('?');
  if (query != std::string_view::npos) {
    for (auto& [name, value] : ParseFormEncoded(url.substr(query + 1))) all.emplace(name, value);
  }
  for (const auto& [name, value] : out.oauth) all[name] = value;
  out.oauth["oauth_signature"] = Signature(SignatureBaseString(method, url, all), credentials);

  out.authorization = "Authorization: OAuth ";
  bool first = true;
  for (const auto& [name, value] : out.oauth) {
    if (!first) out.authorization += ',';
    first = false;
    out.authorization += PercentEncode(name) + "=\"" + PercentEncode(value) + "\"";
  }
  return out;
}

SignedRequest SignRequest(std::string_view method, std::string_view url, const OAuthCredentials& credentials,
                          const OAuthParams& form, const OAuthParams& extraOAuth) {
  const auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
  return SignRequest(method, url, credentials, form, extraOAuth, MakeNonce(), std::to_string(seconds));
}

}  // namespace grinsnap::share
