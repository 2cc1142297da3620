#include "app/template_download.h"

namespace grinsnap {

bool UnavailableDownloadService::Start(TemplateEntry& entry, DownloadCallback callback) {
  (void)entry, (void)callback;
  return false;
}

TemplateDownloadService& DefaultDownloadService() {
  static UnavailableDownloadService service;
  return service;
}

}  // namespace grinsnap
