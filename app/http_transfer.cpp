#include "app/http_transfer.h"

#include <cstdio>
#include <memory>
#include <mutex>
#include <system_error>

#include <curl/curl.h>

namespace grinsnap {

namespace {

// libcurl's global state is set up once, before the first handle on any
// thread (curl_global_init is not thread-safe).
void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Transfer {
  std::FILE* file = nullptr;
  std::uint64_t received = 0;
  std::uint64_t maxBytes = 0;
  bool tooLarge = false;
  bool writeFailed = false;
  const TransferProgress* progress = nullptr;
  const std::atomic<bool>* cancel = nullptr;
};

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
  auto& transfer = *static_cast<Transfer*>(user);
  const size_t bytes = size * count;
  if (transfer.received + bytes > transfer.maxBytes) {
    transfer.tooLarge = true;
    return 0;  // ends the transfer with a write error
  }
  if (std::fwrite(data, 1, bytes, transfer.file) != bytes) {
    transfer.writeFailed = true;
    return 0;
  }
  transfer.received += bytes;
  return bytes;
}

int Progress(void* user, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t) {
  auto& transfer = *static_cast<Transfer*>(user);
  if (transfer.cancel && transfer.cancel->load()) return 1;  // aborts the transfer
  if (*transfer.progress && now >= 0)
    (*transfer.progress)(static_cast<std::uint64_t>(now), total > 0 ? static_cast<std::uint64_t>(total) : 0);
  return 0;
}

struct CurlDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

}  // namespace

TransferResult FetchToFile(const std::string& url, const std::filesystem::path& file, const TransferOptions& options,
                           const TransferProgress& progress, const std::atomic<bool>* cancel) {
  TransferResult result;
  InitCurlOnce();
  std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  if (!curl) {
    result.error = "the transfer cannot be started";
    return result;
  }
  std::FILE* out = std::fopen(file.c_str(), "wb");
  if (!out) {
    result.error = "\"" + file.string() + "\" cannot be created";
    return result;
  }
  Transfer transfer;
  transfer.file = out;
  transfer.maxBytes = options.maxBytes;
  transfer.progress = &progress;
  transfer.cancel = cancel;
  char errorText[CURL_ERROR_SIZE] = {};

  CURL* h = curl.get();
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(h, CURLOPT_MAXREDIRS, options.maxRedirects);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, options.connectTimeoutSeconds);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, options.lowSpeedBytes);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, options.lowSpeedSeconds);
  curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options.maxBytes));
  // Worker threads: no signals for name resolution time-outs.
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_USERAGENT, "Grinsnap");
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, WriteBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, Progress);
  curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);

  const CURLcode code = curl_easy_perform(h);
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &result.httpCode);
  const bool closed = std::fclose(out) == 0;
  result.cancelled = code == CURLE_ABORTED_BY_CALLBACK;
  if (code != CURLE_OK) {
    if (result.cancelled)
      result.error = "cancelled";
    else if (transfer.tooLarge || code == CURLE_FILESIZE_EXCEEDED)
      result.error = "the file is larger than " + std::to_string(options.maxBytes) + " bytes";
    else if (transfer.writeFailed)
      result.error = "\"" + file.string() + "\" cannot be written";
    else
      result.error = errorText[0] ? errorText : curl_easy_strerror(code);
  } else if (result.httpCode != 200) {
    result.error = "HTTP " + std::to_string(result.httpCode);
  } else if (!closed) {
    result.error = "\"" + file.string() + "\" cannot be written";
  } else {
    result.ok = true;
  }
  if (!result.ok) {
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
  }
  return result;
}

}  // namespace grinsnap
