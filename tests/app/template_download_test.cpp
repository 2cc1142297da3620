#include <chrono>
#include <condition_variable>
#include <mutex>

#include <gtest/gtest.h>

#include "app/template_download.h"
#include "app/template_library.h"
#include "app_test_util.h"
#include "test_support/package_site.h"
#include "test_support/test_support.h"

namespace fs = std::filesystem;

namespace grinsnap {
namespace {

using test::PackageSite;

// The reports of one download, handed over from its thread.
class Reports {
public:
  DownloadCallback Callback() {
    return [this](const DownloadReport& report) {
      std::lock_guard lock(mutex_);
      reports_.push_back(report);
      changed_.notify_all();
    };
  }
  // Waits for the finished report; false after the time-out.
  bool WaitFinished(int seconds = 10) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(seconds),
                             [&] { return !reports_.empty() && reports_.back().finished; });
  }
  bool WaitProgress(int seconds = 10) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(seconds), [&] { return !reports_.empty(); });
  }
  DownloadReport Last() {
    std::lock_guard lock(mutex_);
    return reports_.back();
  }
  std::vector<int> Percents() {
    std::lock_guard lock(mutex_);
    std::vector<int> percents;
    for (const DownloadReport& r : reports_)
      if (!r.finished) percents.push_back(r.percent);
    return percents;
  }
  int Finished() {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count_if(reports_.begin(), reports_.end(), [](auto& r) { return r.finished; }));
  }

private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<DownloadReport> reports_;
};

std::vector<std::string> Files(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& item : fs::recursive_directory_iterator(folder, ec))
    names.push_back(item.path().lexically_relative(folder).generic_string());
  std::sort(names.begin(), names.end());
  return names;
}

class Download : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(site_.Running());
    root_ = test::FreshFolder("download");
    downloads_ = root_ / "Download";
    directory_ = root_ / "templates";
    fs::create_directories(directory_);
    site_config_.url = site_.Url();
  }
  // Short times: nothing in these tests may take long.
  TransferOptions Quick() const {
    TransferOptions options;
    options.connectTimeoutSeconds = 2;
    // The stalled reply sends a few bytes, then nothing: well below this.
    options.lowSpeedBytes = 100;
    options.lowSpeedSeconds = 1;
    return options;
  }
  std::unique_ptr<CurlDownloadService> Service(TransferOptions options, UnpackLimits limits = {}) {
    return std::make_unique<CurlDownloadService>(downloads_, site_config_, options, limits);
  }
  TemplateEntry& Entry(const std::string& name, const std::string& url) {
    auto& entry = entries_.emplace_back(std::make_unique<TemplateEntry>());
    entry->name = name;
    entry->url = url;
    entry->online = true;
    entry->directory = directory_.string() + "/";
    return *entry;
  }

  PackageSite site_;
  SiteConfig site_config_;
  fs::path root_, downloads_, directory_;
  std::vector<std::unique_ptr<TemplateEntry>> entries_;
};

TEST_F(Download, OutcomesOfOneDownload) {
  const struct {
    const char* url;
    bool ok;
    const char* error;  // part of the error
  } cases[] = {
      {"/files/frost.zip", true, ""},
      {"$(Site)/files/frost.zip", true, ""},  // the configured site
      {"/redirect/4/frost.zip", true, ""},  // five redirects
      {"/redirect/5/frost.zip", false, "redirect"},
      {"/loop", false, "redirect"},
      {"/ftp", false, "ftp"},
      {"file:///etc/passwd", false, "file"},  // only http and https
      {"/files/nothing.zip", false, "HTTP 404"},
      {"/stall/ember.zip", false, "too slow"},  // the low-speed abort
      {"/files/many_entries.zip", false, "larger than"},
      {"/files/slip_parent.zip", false, "\"..\""},
      {"/files/symlink.zip", false, "symbolic link"},
      {"/files/bomb.zip", false, "beyond"},
      {"/files/truncated.zip", false, "zip archive"},
      {"/files/no_tmpl.zip", false, "no template document"},
  };
  TransferOptions options = Quick();
  options.maxBytes = 100000;
  auto service = Service(options);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    const std::string url = std::string(c.url).rfind("/", 0) == 0 ? site_.Url(c.url) : c.url;
    TemplateEntry& entry = Entry("Pack", url);
    Reports reports;
    ASSERT_TRUE(service->Start(entry, reports.Callback()));
    ASSERT_TRUE(reports.WaitFinished());
    const DownloadReport last = reports.Last();
    EXPECT_EQ(last.success, c.ok);
    EXPECT_NE(last.error.find(c.error), std::string::npos) << last.error;
    EXPECT_EQ(reports.Finished(), 1);
    if (c.ok) {
      EXPECT_EQ(last.filePath, ".\\frost\\frost.tmpl");
      EXPECT_EQ(Files(downloads_), std::vector<std::string>{"Pack"});  // the package stays
      EXPECT_EQ(Files(directory_),
                (std::vector<std::string>{"frost", "frost/frost.tmpl", "frost/res", "frost/res/grain.txt",
                                          "frost/thumb.jpg"}));
      const std::vector<int> percents = reports.Percents();
      EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
      if (!percents.empty()) {
        EXPECT_EQ(percents.back(), 100);
      }
    } else {
      // Neither the partial file nor any part of the package is left.
      EXPECT_TRUE(last.filePath.empty());
      EXPECT_TRUE(Files(downloads_).empty());
      EXPECT_TRUE(Files(directory_).empty());
    }
    fs::remove_all(downloads_);
    fs::remove_all(directory_);
    fs::create_directories(directory_);
  }
}

TEST_F(Download, TwoAtOnceBothArrive) {
  auto service = Service(Quick());
  TemplateEntry& frost = Entry("Frost", site_.Url("/slow/frost.zip"));
  TemplateEntry& ember = Entry("Ember", site_.Url("/slow/ember.zip"));
  Reports a, b;
  ASSERT_TRUE(service->Start(frost, a.Callback()));
  ASSERT_TRUE(service->Start(ember, b.Callback()));
  EXPECT_FALSE(service->Start(frost, a.Callback()));  // one download per entry
  EXPECT_EQ(service->Running(), 2);
  ASSERT_TRUE(a.WaitFinished());
  ASSERT_TRUE(b.WaitFinished());
  EXPECT_TRUE(a.Last().success) << a.Last().error;
  EXPECT_TRUE(b.Last().success) << b.Last().error;
  EXPECT_EQ(a.Last().filePath, ".\\frost\\frost.tmpl");
  EXPECT_EQ(b.Last().filePath, ".\\ember\\ember.tmpl");
  // Each reports its own progress, rising to 100 through several steps.
  for (Reports* r : {&a, &b}) {
    const std::vector<int> percents = r->Percents();
    EXPECT_GE(percents.size(), 3u);
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_EQ(percents.back(), 100);
  }
  EXPECT_EQ(Files(downloads_), (std::vector<std::string>{"Ember", "Frost"}));
}

TEST_F(Download, CancelledDownloadsLeaveNothing) {
  auto service = Service(Quick());
  TemplateEntry& ember = Entry("Ember", site_.Url("/slow/ember.zip"));
  Reports reports;
  ASSERT_TRUE(service->Start(ember, reports.Callback()));
  ASSERT_TRUE(reports.WaitProgress());
  service->Cancel(ember);
  ASSERT_TRUE(reports.WaitFinished());
  EXPECT_FALSE(reports.Last().success);
  EXPECT_NE(reports.Last().error.find("cancelled"), std::string::npos) << reports.Last().error;
  EXPECT_TRUE(Files(downloads_).empty());
  EXPECT_TRUE(Files(directory_).empty());

  // A service that goes cancels what runs, and its report still comes.
  TemplateEntry& stalled = Entry("Stalled", site_.Url("/stall/ember.zip"));
  Reports late;
  TransferOptions patient = Quick();
  patient.lowSpeedSeconds = 60;
  auto closing = Service(patient);
  ASSERT_TRUE(closing->Start(stalled, late.Callback()));
  ASSERT_TRUE(late.WaitProgress());
  const auto before = std::chrono::steady_clock::now();
  closing.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
  EXPECT_EQ(late.Finished(), 1);
  EXPECT_FALSE(late.Last().success);
  EXPECT_TRUE(Files(downloads_).empty());
}

TEST_F(Download, NothingStartsWithoutAnAddress) {
  auto service = Service(Quick());
  Reports reports;
  EXPECT_FALSE(service->Start(Entry("No Address", ""), reports.Callback()));
  // A name that would leave the download folder stays in it.
  EXPECT_EQ(SafeFileName("../../x"), "_._.._x");
  EXPECT_EQ(SafeFileName(".hidden"), "_hidden");
  EXPECT_EQ(SafeFileName(""), "template");
  EXPECT_EQ(service->PackageFile("a/b").parent_path(), downloads_);
}

}  // namespace
}  // namespace grinsnap
