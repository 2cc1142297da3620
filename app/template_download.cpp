#include "app/template_download.h"

#include <algorithm>
#include <system_error>

#include "app/template_library.h"
#include "platform/folders.h"

namespace grinsnap {

namespace fs = std::filesystem;

bool UnavailableDownloadService::Start(TemplateEntry& entry, DownloadCallback callback) {
  (void)entry, (void)callback;
  return false;
}

std::string SafeFileName(const std::string& name) {
  std::string safe = name;
  for (char& c : safe)
    if (c == '/' || c == '\\' || c == ':' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '_';
  if (!safe.empty() && safe.front() == '.') safe.front() = '_';
  return safe.empty() ? std::string("template") : safe;
}

CurlDownloadService::CurlDownloadService(fs::path downloadFolder, SiteConfig site, TransferOptions transfer,
                                         UnpackLimits limits)
    : downloadFolder_(std::move(downloadFolder)), site_(std::move(site)), transfer_(transfer), limits_(limits) {}

CurlDownloadService::~CurlDownloadService() {
  CancelAll();
  WaitAll();
}

fs::path CurlDownloadService::PackageFile(const std::string& templateName) const {
  return downloadFolder_ / SafeFileName(templateName);
}

bool CurlDownloadService::Start(TemplateEntry& entry, DownloadCallback callback) {
  if (entry.url.empty() || entry.directory.empty()) return false;
  std::lock_guard lock(mutex_);
  ReapFinished();
  // One download per entry at a time.
  for (const Job& job : jobs_)
    if (job.key == &entry && !job.done) return false;
  Job& job = jobs_.emplace_back();
  job.key = &entry;
  job.thread = std::thread(&CurlDownloadService::Run, this, std::ref(job), site_.Expand(entry.url), entry.name,
                           fs::path(entry.directory), std::move(callback));
  return true;
}

void CurlDownloadService::Cancel(const TemplateEntry& entry) {
  std::lock_guard lock(mutex_);
  for (Job& job : jobs_)
    if (job.key == &entry) job.cancel = true;
}

void CurlDownloadService::CancelAll() {
  std::lock_guard lock(mutex_);
  for (Job& job : jobs_) job.cancel = true;
}

void CurlDownloadService::WaitAll() {
  std::list<Job> ending;
  {
    std::lock_guard lock(mutex_);
    ending.splice(ending.end(), jobs_);
  }
  for (Job& job : ending)
    if (job.thread.joinable()) job.thread.join();
}

int CurlDownloadService::Running() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(std::count_if(jobs_.begin(), jobs_.end(), [](const Job& j) { return !j.done; }));
}

void CurlDownloadService::ReapFinished() {
  for (auto it = jobs_.begin(); it != jobs_.end();) {
    if (it->done) {
      it->thread.join();
      it = jobs_.erase(it);
    } else {
      ++it;
    }
  }
}

void CurlDownloadService::Run(Job& job, std::string url, std::string name, fs::path directory,
                              DownloadCallback callback) {
  DownloadReport report;
  report.finished = true;
  std::error_code ec;
  fs::create_directories(downloadFolder_, ec);
  const fs::path package = PackageFile(name);
  const fs::path partial = package.string() + ".part";
  int lastPercent = -1;
  const TransferResult fetched = FetchToFile(
      url, partial, transfer_,
      [&](std::uint64_t received, std::uint64_t total) {
        if (total == 0) return;
        const int percent = static_cast<int>(std::min<std::uint64_t>(100, received * 100 / total));
        if (percent == lastPercent) return;
        lastPercent = percent;
        callback({false, false, percent, {}, {}});
      },
      &job.cancel);
  if (!fetched.ok) {
    report.error = url + ": " + fetched.error;
  } else {
    // The complete package replaces an earlier one of the same template.
    fs::rename(partial, package, ec);
    if (ec) {
      report.error = "\"" + package.string() + "\" cannot be written: " + ec.message();
    } else {
      const InstallResult installed = InstallPackage(package, directory, limits_, &job.cancel);
      if (installed.ok) {
        report.success = true;
        report.percent = 100;
        report.filePath = installed.filePath;
      } else {
        // A package that cannot be installed is of no further use.
        report.error = installed.error;
        fs::remove(package, ec);
      }
    }
  }
  fs::remove(partial, ec);
  // Done before the report goes out: the receiver may retry at once.
  job.done = true;
  callback(report);
}

TemplateDownloadService& DefaultDownloadService() {
  static CurlDownloadService service(DocumentsFolder() / "Velmora" / "Grinsnap" / "Download",
                                     SiteConfig::Read(ProgramDataFolder()));
  return service;
}

}  // namespace grinsnap
