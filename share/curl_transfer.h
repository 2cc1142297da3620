#pragma once

#include <atomic>
#include <cstdio>
#include <string>

#include <curl/curl.h>

#include "share/photo_share.h"
#include "share/share_config.h"

namespace grinsnap::share {

// What a read callback returns to make libcurl abort the transfer.
inline constexpr std::size_t kReadAbort = CURL_READFUNC_ABORT;

// One libcurl easy handle, owned; also makes sure libcurl's global state is
// set up once before the first handle.
class CurlEasy {
public:
  CurlEasy();
  ~CurlEasy();
  CurlEasy(const CurlEasy&) = delete;
  CurlEasy& operator=(const CurlEasy&) = delete;
  CURL* get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  // Back to a fresh handle (cookies are kept by libcurl across a reset).
  void Reset(const ShareConfig& config);
  long ResponseCode() const;

private:
  CURL* handle_ = nullptr;
};

// Appends every received block to a std::string passed as the user data.
std::size_t AppendToString(char* data, std::size_t size, std::size_t count, void* userData);

// A file streamed into a multipart part by libcurl's read callback; the
// cancel flag is checked before every read.
class FileStream {
public:
  FileStream(const std::atomic<bool>& cancel, std::size_t maxItems) : cancel_(cancel), maxItems_(maxItems) {}
  ~FileStream() { Close(); }
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;

  bool Open(const std::string& path);
  void Close();
  long long Size() const { return size_; }
  long long Offset() const { return offset_; }
  // When set, every read reports offset / size x 100 to the callback.
  void ReportProgressOnRead(ProgressCallback callback, void* context) {
    readProgress_ = callback;
    readContext_ = context;
  }

  // The libcurl read callback (user data: the FileStream).
  static std::size_t Read(char* buffer, std::size_t size, std::size_t count, void* userData);

private:
  const std::atomic<bool>& cancel_;
  std::size_t maxItems_;
  std::FILE* file_ = nullptr;
  long long size_ = 0;
  long long offset_ = 0;
  ProgressCallback readProgress_ = nullptr;
  void* readContext_ = nullptr;
};

// Upload progress of a transfer in per cent, passed on to a callback: the
// libcurl progress function reports bytes sent / bytes to send x 100, 0
// while the total is not known. It also ends the transfer once the cancel
// flag is set, so that a cancel after the last read (while the service is
// still answering) does not wait for the reply.
struct UploadProgress {
  ProgressCallback callback = nullptr;
  void* context = nullptr;
  const std::atomic<bool>* cancel = nullptr;
  // The libcurl transfer-info callback (user data: the UploadProgress).
  static int Report(void* userData, curl_off_t downloadTotal, curl_off_t downloadNow, curl_off_t uploadTotal,
                    curl_off_t uploadNow);
  void Install(CURL* handle);
};

// The cancel flag and the progress report every libcurl client keeps: the
// wizard sets them from its own thread, the transfer reads them.
class CurlShareClient : public CPhotoShare {
public:
  void SetCancel(bool cancel) override { cancel_ = cancel; }
  void SetProgressCallback(ProgressCallback callback, void* context) override {
    progress_.callback = callback;
    progress_.context = context;
  }

protected:
  std::atomic<bool> cancel_{false};
  UploadProgress progress_{nullptr, nullptr, &cancel_};
};

// The file's own name, without its folder.
std::string FileNameOf(const std::string& path);

// The value of "key" in a JSON text, read without a parser: the text between
// the first double quote after the quoted key and the next one; empty when
// the key or a quote is missing.
std::string JsonValue(const std::string& json, const std::string& key);

}  // namespace grinsnap::share
