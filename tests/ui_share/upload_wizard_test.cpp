#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <random>
#include <thread>

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include <curl/curl.h>
#include <opencv2/imgcodecs.hpp>

#include "app/string_table.h"
#include "share/share_clients.h"
#include "tests/share/fake_service.h"
#include "test_support/qt_test_app.h"
#include "test_support/test_support.h"
#include "ui/app_context.h"
#include "ui/upload_dialog.h"
#include "ui/upload_file.h"

namespace grinsnap {
namespace {

using share::ShareService;

// Runs the event loop until done() holds; false after ten seconds.
bool SpinUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

// A GET on another thread (the browser reaching the loopback listener)
// while the test's event loop keeps the wizard running.
void BrowserGet(const std::string& url) {
  std::thread([url] {
    CURL* h = curl_easy_init();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, +[](char*, size_t size, size_t count, void*) { return size * count; });
    curl_easy_perform(h);
    curl_easy_cleanup(h);
  }).detach();
}

class UploadWizard : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    test::QtApp();
    fake_ = new test::FakeService();
    file_ = new std::string((test::FreshFolder("wizard-upload") / "upload.jpg").string());
    std::mt19937 random(3);
    std::string bytes(200 * 1024, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    std::ofstream(*file_, std::ios::binary) << bytes;
  }
  static void TearDownTestSuite() {
    delete fake_;
    delete file_;
  }
  void SetUp() override {
    ASSERT_TRUE(fake_->Running());
    fake_->Scenario("");
    CDlgUpload::SetUrlOpener([this](const std::string& url) { opened_.push_back(url); });
  }
  void TearDown() override { CDlgUpload::SetUrlOpener({}); }

  std::unique_ptr<CDlgUpload> Wizard(ShareService service, const ShareDialogValues& values) {
    auto wizard = std::make_unique<CDlgUpload>(app_, share::MakeShareClient(service, fake_->Config(), [](auto&, auto&) {}),
                                               *file_);
    wizard->SetValues(values, "holiday");
    wizard->show();
    return wizard;
  }
  template <class T>
  static T* Child(CDlgUpload& wizard, const char* name) {
    return wizard.findChild<T*>(name);
  }
  static void Click(CDlgUpload& wizard, const char* name) {
    QPushButton* button = Child<QPushButton>(wizard, name);
    ASSERT_TRUE(button) << name;
    ASSERT_TRUE(button->isEnabled()) << name;
    button->click();
    QCoreApplication::processEvents();
  }

  static test::FakeService* fake_;
  static std::string* file_;
  AppContext app_;
  std::vector<std::string> opened_;
};
test::FakeService* UploadWizard::fake_ = nullptr;
std::string* UploadWizard::file_ = nullptr;

const ShareDialogValues kAlice{"alice", "s3cret:&pw", true, "Hello", "beach", true};

TEST_F(UploadWizard, FieldsFollowTheServiceAndMessageIsRequired) {
  struct Case {
    ShareService service;
    bool title, tag, privacy, registerButton;
  } cases[] = {{ShareService::Facebook, false, false, false, false},
               {ShareService::Twitter, false, false, false, false},
               {ShareService::Flickr, true, true, true, false},
               {ShareService::Pixhaven, true, true, true, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.service));
    auto wizard = Wizard(c.service, {});
    EXPECT_EQ(Child<QLineEdit>(*wizard, "title")->isVisibleTo(wizard.get()), c.title);
    EXPECT_TRUE(Child<QPlainTextEdit>(*wizard, "message")->isVisibleTo(wizard.get()));
    EXPECT_EQ(Child<QLineEdit>(*wizard, "tag")->isVisibleTo(wizard.get()), c.tag);
    EXPECT_EQ(Child<QRadioButton>(*wizard, "private")->isVisibleTo(wizard.get()), c.privacy);
    EXPECT_EQ(Child<QPushButton>(*wizard, "register")->isVisibleTo(Child<QWidget>(*wizard, "accountPage")),
              c.registerButton);
    EXPECT_EQ(wizard->CurrentPage(), CDlgUpload::kPageInfo);
    EXPECT_FALSE(Child<QPushButton>(*wizard, "infoNext")->isEnabled());
    Child<QPlainTextEdit>(*wizard, "message")->setPlainText("m");
    EXPECT_TRUE(Child<QPushButton>(*wizard, "infoNext")->isEnabled());
  }
}

TEST_F(UploadWizard, AccountPagesThenUploadResults) {
  struct Case {
    const char* scenario;
    const char* password;
    int resultId;
  } cases[] = {{"", "s3cret:&pw", kIdsUploadSucceeded},
               {"", "wrong", kIdsLoginFailed},
               {"pix-http500", "s3cret:&pw", kIdsUploadFailed}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.scenario) + "/" + c.password);
    fake_->Scenario(c.scenario);
    opened_.clear();
    ShareDialogValues values = kAlice;
    values.password = "";
    auto wizard = Wizard(ShareService::Pixhaven, values);
    Click(*wizard, "infoNext");
    ASSERT_EQ(wizard->CurrentPage(), CDlgUpload::kPageAccount);
    EXPECT_FALSE(Child<QPushButton>(*wizard, "accountNext")->isEnabled());
    Click(*wizard, "accountPrevious");
    EXPECT_EQ(wizard->CurrentPage(), CDlgUpload::kPageInfo);
    Click(*wizard, "infoNext");
    Child<QLineEdit>(*wizard, "password")->setText(c.password);
    Click(*wizard, "accountNext");
    EXPECT_EQ(wizard->CurrentPage(), CDlgUpload::kPageProgress);
    ASSERT_TRUE(SpinUntil([&] { return wizard->CurrentPage() == CDlgUpload::kPageResult; }));
    EXPECT_EQ(wizard->ResultText(), app_.QText(c.resultId));
    if (c.resultId == kIdsUploadSucceeded) {
      EXPECT_EQ(opened_, std::vector<std::string>{"http://album.test/u/alice/42"});
      EXPECT_NE(fake_->Log().find("&title=holiday&description=Hello&tag=beach&privacy=private"), std::string::npos);
    }
    Click(*wizard, "ok");
    EXPECT_TRUE(SpinUntil([&] { return !wizard->isVisible(); }));
    EXPECT_EQ(wizard->Values().password, c.password);
  }
}

TEST_F(UploadWizard, CancelDuringASlowUploadClosesTheWizard) {
  fake_->Scenario("slow");
  auto wizard = Wizard(ShareService::Twitter, {"bob", "tw&pass word", false, "slow one", "", false});
  Click(*wizard, "infoNext");
  Click(*wizard, "accountNext");
  // The bar moves past the login once the picture is on its way.
  ASSERT_TRUE(SpinUntil([&] { return wizard->findChild<QWidget*>("progressBar")->property("value").toInt() > 1; }));
  Click(*wizard, "cancel");
  EXPECT_TRUE(SpinUntil([&] { return !wizard->isVisible(); }));
  EXPECT_EQ(wizard->result(), QDialog::Rejected);
  EXPECT_EQ(fake_->Log().find("tw-update"), std::string::npos);
}

TEST_F(UploadWizard, BrowserAuthorisationReturnsThroughTheLoopback) {
  struct Case {
    ShareService service;
    const char* scenario;
    bool uploaded;
  } cases[] = {{ShareService::Facebook, "", true}, {ShareService::Facebook, "fb-deny", false},
               {ShareService::Flickr, "", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.service));
    fake_->Scenario(c.scenario);
    opened_.clear();
    auto wizard = Wizard(c.service, kAlice);
    const std::string loopback = wizard->RedirectUrl();
    ASSERT_EQ(loopback.rfind("http://127.0.0.1:", 0), 0u);
    Click(*wizard, "infoNext");
    ASSERT_EQ(wizard->CurrentPage(), CDlgUpload::kPageWeb);
    ASSERT_EQ(opened_.size(), 1u);
    // The user agrees in the browser; the service sends it to the loopback.
    std::string redirect = fake_->RedirectOf(opened_[0]);
    if (c.service == ShareService::Flickr) {
      const std::string token = opened_[0].substr(opened_[0].find("oauth_token=") + 12, 4);
      redirect = loopback + "?oauth_token=" + token + "&oauth_verifier=v-123";
    }
    ASSERT_EQ(redirect.rfind(loopback, 0), 0u) << redirect;
    const auto hash = redirect.find('#');
    // A fragment is relayed by the loopback page's script as a query.
    BrowserGet(hash == std::string::npos ? redirect
                                         : loopback.substr(0, loopback.rfind('/')) + "/fragment?" +
                                               redirect.substr(hash + 1));
    if (!c.uploaded) {
      EXPECT_TRUE(SpinUntil([&] { return !wizard->isVisible(); }));
      continue;
    }
    ASSERT_TRUE(SpinUntil([&] { return wizard->CurrentPage() == CDlgUpload::kPageResult; }));
    EXPECT_EQ(wizard->ResultText(), app_.QText(kIdsUploadSucceeded));
    EXPECT_EQ(opened_.back(), wizard->Client().GetHomeUrl());
  }
}

TEST(UploadFile, ShrinksToEightHundredAndDrawsTheWatermark) {
  const std::pair<cv::Size, cv::Size> sizes[] = {{{1600, 900}, {800, 450}}, {{640, 480}, {640, 480}},
                                                 {{900, 1800}, {400, 800}}, {{801, 3}, {800, 3}},
                                                 {{800, 800}, {800, 800}}};
  for (const auto& [in, out] : sizes) EXPECT_EQ(UploadSize(in.width, in.height), out) << in;

  test::QtApp();
  const auto file = test::FreshFolder("upload-file") / "tmp_upload.jpg";
  ASSERT_TRUE(MakeUploadFile(test::Flat(1600, 900, {0, 0, 0}), "www.grinsnap.example", file));
  const cv::Mat written = cv::imread(file.string());
  ASSERT_EQ(written.size(), cv::Size(800, 450));
  // Half-transparent white text in the band that starts 1.5 x 30 pixels
  // above the bottom; the rest stays black.
  double bandMax = 0, topMax = 0;
  cv::minMaxLoc(written(cv::Rect(0, 450 - 45, 400, 40)), nullptr, &bandMax);
  cv::minMaxLoc(written(cv::Rect(0, 0, 800, 300)), nullptr, &topMax);
  EXPECT_GT(bandMax, 90);
  EXPECT_LT(bandMax, 160);
  EXPECT_LT(topMax, 20);
  EXPECT_FALSE(MakeUploadFile(cv::Mat(), "x", file));
}

}  // namespace
}  // namespace grinsnap
