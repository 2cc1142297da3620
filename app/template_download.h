#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "app/http_transfer.h"
#include "app/site_config.h"
#include "app/template_package.h"

namespace grinsnap {

class TemplateEntry;

// What a running template download reports: progress reports while it runs
// (finished false, percent 0..100), then one last report with finished set,
// saying whether the package was fetched and installed.
struct DownloadReport {
  bool finished = false;
  bool success = false;
  int percent = -1;
  // On success: the installed template document as template.cfg names it
  // (".\folder\name.tmpl"); the receiver writes it into the entry on its own
  // thread.
  std::string filePath;
  std::string error;  // why it failed
};

// Called on whatever thread the download runs on; the receiver hands the
// report to its own thread.
using DownloadCallback = std::function<void(const DownloadReport& report)>;

// Fetches the package of an online template into the entry's directory.
class TemplateDownloadService {
public:
  virtual ~TemplateDownloadService() = default;
  // Starts fetching in the background. When it returns true the callback
  // gets exactly one finished report later; when it returns false nothing
  // was started and the callback is never called.
  virtual bool Start(TemplateEntry& entry, DownloadCallback callback) = 0;
  // Stops the entry's running download soon; it then reports a failure.
  virtual void Cancel(const TemplateEntry& entry) { (void)entry; }
};

// The service in use while the program cannot fetch templates: every start
// fails at once, so the item shows the failed state and may be retried.
class UnavailableDownloadService final : public TemplateDownloadService {
public:
  bool Start(TemplateEntry& entry, DownloadCallback callback) override;
};

// Downloads over HTTP(S), one thread per download. The package is fetched
// into the download folder (under the entry's name, made safe for a file
// name; a ".part" file while it arrives), then installed into the entry's
// directory through a staging folder (InstallPackage). A failed or cancelled
// download leaves neither the partial file nor a half-installed template.
//
// The worker reads nothing of the entry after Start: it copies the address,
// the name and the directory, and reports the result; the entry changes on
// the receiver's thread.
class CurlDownloadService final : public TemplateDownloadService {
public:
  CurlDownloadService(std::filesystem::path downloadFolder, SiteConfig site, TransferOptions transfer = {},
                      UnpackLimits limits = {});
  // Cancels every running download and waits for the threads.
  ~CurlDownloadService() override;

  bool Start(TemplateEntry& entry, DownloadCallback callback) override;
  void Cancel(const TemplateEntry& entry) override;
  void CancelAll();
  // Blocks until no download runs (tests, shutdown).
  void WaitAll();
  // Downloads started and not yet finished.
  int Running() const;

  // The file a package of this template name is kept in.
  std::filesystem::path PackageFile(const std::string& templateName) const;

private:
  struct Job {
    const TemplateEntry* key = nullptr;  // compared, never followed
    std::atomic<bool> cancel{false};
    std::atomic<bool> done{false};
    std::thread thread;
  };
  void Run(Job& job, std::string url, std::string name, std::filesystem::path directory, DownloadCallback callback);
  // Under mutex_: joins the threads that have ended.
  void ReapFinished();

  std::filesystem::path downloadFolder_;
  SiteConfig site_;
  TransferOptions transfer_;
  UnpackLimits limits_;
  mutable std::mutex mutex_;
  std::list<Job> jobs_;
};

// A template name as a file name: path separators, control characters and a
// leading dot replaced by '_', never empty.
std::string SafeFileName(const std::string& name);

// The process's download service: packages go to the documents folder's
// Velmora/Grinsnap/Download, addresses with "$(Site)" use the site in
// config.cfg.
TemplateDownloadService& DefaultDownloadService();

}  // namespace grinsnap
