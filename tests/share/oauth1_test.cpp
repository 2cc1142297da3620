#include <gtest/gtest.h>

#include "share/oauth1.h"

namespace grinsnap::share {
namespace {

// The worked example of RFC 5849, section 1.2 (photos.example.net).
TEST(OAuthSigner, ReproducesTheRfc5849Example) {
  const OAuthCredentials credentials{"dpf43f3p2l4k3l03", "kd94hf93k423kf44", "nnch734d00sl2jdk", "pfkkdhi9sl3r4s00"};
  const OAuthParams params{{"file", "vacation.jpg"},           {"size", "original"},
                           {"oauth_consumer_key", "dpf43f3p2l4k3l03"}, {"oauth_token", "nnch734d00sl2jdk"},
                           {"oauth_signature_method", "HMAC-SHA1"},    {"oauth_timestamp", "137131202"},
                           {"oauth_nonce", "chapoH"}};
  const std::string base = SignatureBaseString("GET", "http://photos.example.net/photos", params);
  EXPECT_EQ(base,
            "GET&http%3A%2F%2Fphotos.example.net%2Fphotos&file%3Dvacation.jpg%26oauth_consumer_key%3Ddpf43f3p2l4k3l03"
            "%26oauth_nonce%3DchapoH%26oauth_signature_method%3DHMAC-SHA1%26oauth_timestamp%3D137131202%26oauth_token"
            "%3Dnnch734d00sl2jdk%26size%3Doriginal");
  EXPECT_EQ(Signature(base, credentials), "MdpQcU8iPSUjWoN/UDMsK2sui9I=");
  // The query of the address is folded into the parameters the same way.
  EXPECT_EQ(SignatureBaseString("GET", "http://photos.example.net/photos?file=vacation.jpg&size=original",
                                {params.begin(), params.end()}),
            base);
}

TEST(OAuthSigner, HeaderCarriesEveryOAuthParameterInNameOrder) {
  const OAuthCredentials credentials{"key", "secret", "tok", "toksecret"};
  const auto request =
      SignRequest("POST", "http://h.test/a?x=1", credentials, {{"b", "2"}}, {{"oauth_verifier", "v"}}, "n1", "100");
  const OAuthParams signedParams{{"b", "2"},
                                 {"x", "1"},
                                 {"oauth_consumer_key", "key"},
                                 {"oauth_nonce", "n1"},
                                 {"oauth_signature_method", "HMAC-SHA1"},
                                 {"oauth_timestamp", "100"},
                                 {"oauth_token", "tok"},
                                 {"oauth_verifier", "v"},
                                 {"oauth_version", "1.0"}};
  const std::string signature = Signature(SignatureBaseString("POST", "http://h.test/a", signedParams), credentials);
  EXPECT_EQ(request.authorization,
            "Authorization: OAuth oauth_consumer_key=\"key\",oauth_nonce=\"n1\",oauth_signature=\"" +
                PercentEncode(signature) +
                "\",oauth_signature_method=\"HMAC-SHA1\",oauth_timestamp=\"100\",oauth_token=\"tok\","
                "oauth_verifier=\"v\",oauth_version=\"1.0\"");
  EXPECT_NE(MakeNonce(), MakeNonce());
}

// Every byte value: the unreserved set of RFC 3986 stays, everything else
// becomes %XX with upper-case digits, and decoding gives the bytes back.
TEST(OAuthSigner, PercentEncodingCoversAll256Bytes) {
  const std::string unreserved = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~";
  std::string all;
  for (int b = 0; b < 256; ++b) {
    const std::string byte(1, static_cast<char>(b));
    all += byte;
    const std::string encoded = PercentEncode(byte);
    if (unreserved.find(static_cast<char>(b)) != std::string::npos) {
      EXPECT_EQ(encoded, byte) << b;
    } else {
      char expected[4];
      std::snprintf(expected, sizeof expected, "%%%02X", b);
      EXPECT_EQ(encoded, expected) << b;
    }
  }
  EXPECT_EQ(PercentEncode(all).size(), unreserved.size() + 3 * (256 - unreserved.size()));
  EXPECT_EQ(PercentDecode(PercentEncode(all)), all);
  EXPECT_EQ(PercentDecode("%4"), "%4");
  EXPECT_EQ(PercentDecode("a%zz+b"), "a%zz+b");
}

TEST(OAuthSigner, FormDecodingAndBase64) {
  const auto form = ParseFormEncoded("oauth_token=a%2Bb&empty=&bare&oauth_token=second&x=%E2%82%AC");
  EXPECT_EQ(form.at("oauth_token"), "a+b");
  EXPECT_EQ(form.at("empty"), "");
  EXPECT_EQ(form.at("bare"), "");
  EXPECT_EQ(form.at("x"), "\xE2\x82\xAC");
  // RFC 4648's test vectors.
  const std::pair<const char*, const char*> vectors[] = {
      {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foobar", "Zm9vYmFy"}};
  for (const auto& [in, out] : vectors) EXPECT_EQ(Base64(in), out);
}

}  // namespace
}  // namespace grinsnap::share
