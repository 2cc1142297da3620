#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <random>
#include <vector>

#include "tests/share/fake_service.h"
#include "share/fb_api.h"
#include "share/flick_api.h"
#include "share/pixhaven_api.h"
#include "share/twit_api.h"
#include "test_support/test_support.h"

namespace grinsnap::share {
namespace {

using test::FakeService;

// What the clients reported while uploading; cancelAt >= 0 sets the
// client's cancel flag once progress reaches it.
struct ProgressLog {
  std::vector<double> values;
  CPhotoShare* client = nullptr;
  double cancelAt = -1;
  static void Report(double percent, void* context) {
    auto* self = static_cast<ProgressLog*>(context);
    self->values.push_back(percent);
    if (self->cancelAt >= 0 && percent >= self->cancelAt) self->client->SetCancel(true);
  }
  bool Increasing() const {
    for (size_t i = 1; i < values.size(); ++i)
      if (values[i] < values[i - 1]) return false;
    return true;
  }
};

class ShareClients : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    fake_ = new FakeService();
    upload_ = new std::string((test::FreshFolder("share-upload") / "upload.jpg").string());
    // 200 KB: many reads of the file, so a cancel lands in the middle.
    std::mt19937 random(7);
    std::string bytes(200 * 1024, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    std::ofstream(*upload_, std::ios::binary) << bytes;
  }
  static void TearDownTestSuite() {
    delete fake_;
    delete upload_;
  }
  void SetUp() override {
    ASSERT_TRUE(fake_->Running()) << "python3 " GRINSNAP_FAKE_SERVICES " did not start";
    fake_->Scenario("");
  }
  static bool Has(const std::string& log, const std::string& text) { return log.find(text) != std::string::npos; }

  static FakeService* fake_;
  static std::string* upload_;
};
FakeService* ShareClients::fake_ = nullptr;
std::string* ShareClients::upload_ = nullptr;

TEST_F(ShareClients, PixhavenRepliesDecideTheUpload) {
  struct Case {
    const char* scenario;
    bool uploaded;
    bool notified;          // the reply text was shown to the user
    const char* closing;    // the closing post the fake saw ("" for none)
    const char* albumUrl;
  } cases[] = {
      {"", true, false, "&action=finished&title=Sun & sea&description=Hi=1&tag=beach&privacy=private",
       "http://album.test/u/alice/42"},
      {"pix-finish-plain", true, false, "&action=finished", ""},
      {"pix-finish-nocomma", true, false, "&action=finished", ""},
      {"pix-704", false, true, "pix-form action=canceled", ""},
      {"pix-other", false, true, "", ""},
      {"pix-http500", false, false, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.scenario);
    fake_->Scenario(c.scenario);
    std::vector<std::string> shown;
    PixhavenApi client(fake_->Config(), "",
                       [&](const std::string& text, const std::string& caption) { shown.push_back(caption + "|" + text); });
    ProgressLog progress;
    client.SetProgressCallback(&ProgressLog::Report, &progress);
    ASSERT_TRUE(client.Login("alice", "s3cret:&pw"));
    EXPECT_EQ(client.Upload(*upload_, "Hi=1", "Sun & sea", "beach", true), c.uploaded);
    const std::string log = fake_->Log();
    EXPECT_TRUE(Has(log, "pix-part fields=sid,action,filename[]")) << log;
    EXPECT_TRUE(Has(log, "action=upload filename=upload.jpg type=binary bytes=204800")) << log;
    EXPECT_EQ(Has(log, "pix-form"), c.closing[0] != '\0') << log;
    if (c.closing[0]) {
      EXPECT_TRUE(Has(log, c.closing)) << log;
    }
    EXPECT_EQ(client.GetHomeUrl(), c.albumUrl);
    ASSERT_EQ(shown.size(), c.notified ? 1u : 0u);
    if (c.notified) {
      EXPECT_EQ(shown[0].rfind("Upload Failed|", 0), 0u);
    }
    EXPECT_FALSE(progress.values.empty());
    EXPECT_TRUE(progress.Increasing());
    EXPECT_DOUBLE_EQ(progress.values.back(), 100.0);
  }
}

TEST_F(ShareClients, PixhavenLoginAndCancel) {
  PixhavenApi client(fake_->Config(), "", [](auto&, auto&) {});
  EXPECT_FALSE(client.Login("alice", "wrong"));
  EXPECT_EQ(client.Endpoint(), fake_->Base() + "/services/uploadNew.php");
  EXPECT_EQ(client.GetRegisterUrl(), fake_->Base() + "/member/reg.php?maker=yes");
  // Without the session cookie of a login the service refuses the file.
  EXPECT_FALSE(client.Upload(*upload_, "m", "t", "g", false));
  EXPECT_TRUE(Has(fake_->Log(), "pix-no-cookie"));
  EXPECT_FALSE(client.Upload(*upload_ + ".missing", "m", "t", "g", false));

  fake_->Scenario("");
  ASSERT_TRUE(client.Login("alice", "s3cret:&pw"));
  ProgressLog progress{.client = &client, .cancelAt = 30};
  client.SetProgressCallback(&ProgressLog::Report, &progress);
  EXPECT_FALSE(client.Upload(*upload_, "m", "t", "g", false));
  // The cancelled session is closed with the service.
  EXPECT_TRUE(Has(fake_->Log(), "pix-form action=canceled"));
  EXPECT_LT(progress.values.back(), 100.0);
  EXPECT_TRUE(std::all_of(progress.values.begin(), progress.values.end(), [](double p) { return p < 40; }));

  EXPECT_EQ(ParsePixhavenReply("601\nhttp://a,b").message, "http://a,b");
  EXPECT_EQ(ParsePixhavenReply("200").code, 200);
  EXPECT_EQ(ParsePixhavenReply("704\nno\ndetail\n").detail, "detail");
}

TEST_F(ShareClients, TwitterLoginStepsAndFailures) {
  struct Case {
    const char* scenario;
    const char* password;
    bool loggedIn;
  } cases[] = {
      {"", "tw&pass word", true},
      {"", "wrong", false},
      {"tw-no-authenticity", "tw&pass word", false},
      {"tw-no-pin", "tw&pass word", false},
      {"tw-verify-fails", "tw&pass word", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.scenario) + "/" + c.password);
    fake_->Scenario(c.scenario);
    TwitApi client(fake_->Config());
    EXPECT_EQ(client.Login("bob", c.password), c.loggedIn);
    EXPECT_FALSE(Has(fake_->Log(), "bad-signature")) << fake_->Log();
    if (c.loggedIn) {
      EXPECT_EQ(client.ScreenName(), "bob");
      EXPECT_TRUE(Has(fake_->Log(),
                      "tw-authorize oauth_token,authenticity_token,session[username_or_email],session[password]"));
    }
  }
}

TEST_F(ShareClients, TwitterUploadProgressCancelAndRefusal) {
  TwitApi client(fake_->Config());
  EXPECT_FALSE(client.Upload(*upload_, "before login", "", "", false));
  ASSERT_TRUE(client.Login("bob", "tw&pass word"));
  ProgressLog progress{.client = &client};
  client.SetProgressCallback(&ProgressLog::Report, &progress);
  EXPECT_TRUE(client.Upload(*upload_, "Look at this!", "unused", "unused", true));
  EXPECT_TRUE(Has(fake_->Log(), "tw-update status=Look at this! media=204800 type=application/octet-stream"));
  EXPECT_TRUE(progress.Increasing());
  EXPECT_DOUBLE_EQ(progress.values.back(), 100.0);
  EXPECT_FALSE(client.Upload("", "m", "", "", false));

  fake_->Scenario("tw-update-refused");
  EXPECT_FALSE(client.Upload(*upload_, "refused", "", "", false));

  fake_->Scenario("");
  progress = {.client = &client, .cancelAt = 30};
  EXPECT_FALSE(client.Upload(*upload_, "cancelled", "", "", false));
  EXPECT_FALSE(Has(fake_->Log(), "status=cancelled"));
  EXPECT_LT(progress.values.back(), 100.0);

  // A cancel while the service is still answering ends the wait.
  fake_->Scenario("slow");
  client.SetCancel(false);
  progress = {.client = &client, .cancelAt = 100};
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(client.Upload(*upload_, "slow", "", "", false));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2900));
}

TEST_F(ShareClients, FacebookRedirectAddresses) {
  FBApi client(fake_->Config());
  const std::string redirect = client.RedirectUrl();
  struct Case {
    std::string url;
    NavigationResult result;
    const char* token;
  } cases[] = {
      {redirect + "#access_token=abc&expires_in=0", NavigationResult::Authorized, "abc"},
      {redirect + "#access_token=abc", NavigationResult::KeepBrowsing, ""},
      {redirect + "?error_reason=user_denied&error=access_denied", NavigationResult::Refused, ""},
      {fake_->Base() + "/fb/login.php?error_reason=user_denied", NavigationResult::KeepBrowsing, ""},
      {fake_->Base() + "/fb/dialog/oauth", NavigationResult::KeepBrowsing, ""},
  };
  for (const auto& c : cases) {
    FBApi fresh(fake_->Config());
    EXPECT_EQ(fresh.OnBrowserNavigated(c.url), c.result) << c.url;
    EXPECT_EQ(fresh.AccessToken(), c.token) << c.url;
  }
  EXPECT_EQ(client.GetAuthorizationUrl(),
            fake_->Base() + "/fb/dialog/oauth?client_id=381204976553018&redirect_uri=" + PercentEncode(redirect) +
                "&type=user_agent&display=popup&scope=offline_access,user_photos,publish_stream&response_type=token");
}

TEST_F(ShareClients, FacebookAuthorisationUploadAndFailures) {
  struct Case {
    const char* scenario;
    bool uploaded;
    bool feed;  // a feed entry was posted
  } cases[] = {{"", true, true}, {"fb-no-id", false, false}, {"fb-feed-fails", false, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.scenario);
    fake_->Scenario(c.scenario);
    FBApi client(fake_->Config());
    EXPECT_FALSE(client.Upload(*upload_, "msg", "", "", false));
    ASSERT_EQ(client.OnBrowserNavigated(fake_->RedirectOf(client.GetAuthorizationUrl())),
              NavigationResult::Authorized);
    ProgressLog progress;
    client.SetProgressCallback(&ProgressLog::Report, &progress);
    EXPECT_EQ(client.Upload(*upload_, "Hello & bye", "", "", false), c.uploaded);
    const std::string log = fake_->Log();
    EXPECT_TRUE(Has(log, "fb-dialog client_id=381204976553018 type=user_agent response_type=token")) << log;
    EXPECT_TRUE(Has(log, "fb-photo message=Hello & bye message_type=text source=204800 source_type=file")) << log;
    EXPECT_EQ(Has(log, "fb-feed"), c.feed) << log;
    if (c.feed) {
      EXPECT_TRUE(Has(log, R"({"include_hidden": "true", "link": "https://fb.test/photo.php?fbid=555", )"
                           R"("message": "Hello & bye", "name": "Hello & bye"})"))
          << log;
    }
    EXPECT_DOUBLE_EQ(progress.values.back(), 100.0);
  }

  fake_->Scenario("fb-deny");
  FBApi refused(fake_->Config());
  EXPECT_EQ(refused.OnBrowserNavigated(fake_->RedirectOf(refused.GetAuthorizationUrl())), NavigationResult::Refused);

  fake_->Scenario("");
  FBApi cancelled(fake_->Config());
  cancelled.OnBrowserNavigated(fake_->RedirectOf(cancelled.GetAuthorizationUrl()));
  ProgressLog progress{.client = &cancelled, .cancelAt = 30};
  cancelled.SetProgressCallback(&ProgressLog::Report, &progress);
  EXPECT_FALSE(cancelled.Upload(*upload_, "m", "", "", false));
  EXPECT_FALSE(Has(fake_->Log(), "fb-feed"));

  FBApi wrongToken(fake_->Config());
  wrongToken.OnBrowserNavigated(wrongToken.RedirectUrl() + "#access_token=forged&expires_in=0");
  EXPECT_FALSE(wrongToken.Upload(*upload_, "m", "", "", false));
}

TEST_F(ShareClients, FlickrAuthorisationUploadAndFailures) {
  FlickApi client(fake_->Config());
  EXPECT_EQ(client.GetAuthorizationUrl(), "");
  ASSERT_TRUE(client.PrepareAuthorization());
  EXPECT_TRUE(Has(fake_->Log(), "fl-request-token callback=" + fake_->Base() + "/fl/callback"));
  const std::string authorize = client.GetAuthorizationUrl();
  EXPECT_EQ(authorize.rfind(fake_->Base() + "/fl/services/oauth/authorize?oauth_token=frt", 0), 0u) << authorize;
  const std::string token = authorize.substr(authorize.find("oauth_token=") + 12, authorize.find('&') - authorize.find("oauth_token=") - 12);
  struct Case {
    std::string url;
    NavigationResult result;
  } cases[] = {
      {fake_->Base() + "/fl/services/oauth/authorize?oauth_token=" + token, NavigationResult::KeepBrowsing},
      {fake_->Base() + "/fl/callback?oauth_token=" + token + "&oauth_verifier=wrong", NavigationResult::KeepBrowsing},
      {fake_->Base() + "/fl/callback?oauth_token=" + token + "&oauth_verifier=v-123", NavigationResult::Authorized},
  };
  EXPECT_FALSE(client.Upload(*upload_, "m", "t", "g", false));
  for (const auto& c : cases) EXPECT_EQ(client.OnBrowserNavigated(c.url), c.result) << c.url;
  EXPECT_EQ(client.UserName(), "carol");

  ProgressLog progress{.client = &client};
  client.SetProgressCallback(&ProgressLog::Report, &progress);
  EXPECT_TRUE(client.Upload(*upload_, "A day & night", "Beach", "sun sea", true));
  EXPECT_EQ(client.PhotoId(), "31415");
  EXPECT_TRUE(Has(fake_->Log(), R"(fl-upload {"description": "A day & night", "is_family": "1", "is_friend": "1", )"
                                R"("is_public": "0", "tags": "sun sea", "title": "Beach"} photo=204800)"))
      << fake_->Log();
  EXPECT_DOUBLE_EQ(progress.values.back(), 100.0);
  EXPECT_FALSE(Has(fake_->Log(), "bad-signature"));

  fake_->Scenario("fl-upload-fails");
  EXPECT_FALSE(client.Upload(*upload_, "m", "t", "g", false));
  fake_->Scenario("");
  progress = {.client = &client, .cancelAt = 30};
  EXPECT_FALSE(client.Upload(*upload_, "m", "t", "g", false));
  EXPECT_FALSE(Has(fake_->Log(), "fl-upload"));

  fake_->Scenario("fl-no-confirm");
  FlickApi unconfirmed(fake_->Config());
  EXPECT_FALSE(unconfirmed.PrepareAuthorization());
}

TEST(ShareJson, ValuesWithoutAParser) {
  const std::pair<const char*, const char*> cases[] = {
      {R"({"id":"123","x":"y"})", "123"}, {R"({"id": "4"})", "4"}, {R"({"other":"1"})", ""}, {R"({"id":)", ""},
      {R"({"id":"open)", ""}};
  for (const auto& [json, id] : cases) EXPECT_EQ(JsonValue(json, "id"), id) << json;
}

}  // namespace
}  // namespace grinsnap::share
