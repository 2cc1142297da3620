#pragma once

#include <functional>

namespace grinsnap {

class TemplateEntry;

// What a running template download reports: progress reports while it runs
// (finished false, percent 0..100), then one last report with finished set,
// saying whether the package was fetched and unpacked.
struct DownloadReport {
  bool finished = false;
  bool success = false;
  int percent = -1;
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
};

// The service in use while the program cannot fetch templates: every start
// fails at once, so the item shows the failed state and may be retried.
class UnavailableDownloadService final : public TemplateDownloadService {
public:
  bool Start(TemplateEntry& entry, DownloadCallback callback) override;
};

// The process's download service.
TemplateDownloadService& DefaultDownloadService();

}  // namespace grinsnap
