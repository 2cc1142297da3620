#pragma once

#include <map>
#include <string>
#include <string_view>

namespace grinsnap::share {

// Percent-encoding of every byte outside the unreserved set
// ALPHA / DIGIT / "-" / "." / "_" / "~", with upper-case hexadecimal digits,
// as OAuth 1.0 signs parameters.
std::string PercentEncode(std::string_view text);
// The reverse; "+" stays "+", a broken "%" escape is kept as it is.
std::string PercentDecode(std::string_view text);
std::string Base64(std::string_view bytes);
// HMAC-SHA1 digest (20 raw bytes).
std::string HmacSha1(std::string_view key, std::string_view message);

// name=value pairs of a query or form body, decoded; repeated names keep the
// first value.
std::map<std::string, std::string> ParseFormEncoded(std::string_view text);

// Parameters in name order, as the signature base string needs them. OAuth
// allows a name twice; the services here never send one twice.
using OAuthParams = std::map<std::string, std::string>;

// OAuth 1.0 with HMAC-SHA1 over a request: method, address (its query is
// folded into the parameters) and form parameters.
struct OAuthCredentials {
  std::string consumerKey;
  std::string consumerSecret;
  std::string token;        // empty before a token is held
  std::string tokenSecret;  // empty before a token is held
};

// The signature base string: METHOD&encoded(address without query)&encoded(params).
std::string SignatureBaseString(std::string_view method, std::string_view url, const OAuthParams& params);
// Base64 of HMAC-SHA1 with the key consumer secret & token secret (not yet percent-encoded).
std::string Signature(const std::string& baseString, const OAuthCredentials& credentials);

// A fresh nonce: 32 random hexadecimal digits, different for every request
// even within one second.
std::string MakeNonce();

struct SignedRequest {
  OAuthParams oauth;          // every oauth_* parameter, oauth_signature included
  std::string authorization;  // the header line "Authorization: OAuth name="value",..."
};

// Signs a request. extraOAuth carries further oauth_* parameters that are
// part of the header (oauth_verifier, oauth_callback); form holds the body's
// parameters of a form post (signed, not sent in the header). nonce and
// timestamp are passed in so a known example can be reproduced.
SignedRequest SignRequest(std::string_view method, std::string_view url, const OAuthCredentials& credentials,
                          const OAuthParams& form, const OAuthParams& extraOAuth, const std::string& nonce,
                          const std::string& timestamp);
// The same with a fresh nonce and the current time.
SignedRequest SignRequest(std::string_view method, std::string_view url, const OAuthCredentials& credentials,
                          const OAuthParams& form = {}, const OAuthParams& extraOAuth = {});

}  // namespace grinsnap::share
