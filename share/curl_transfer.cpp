#include "share/curl_transfer.h"

#include <filesystem>
#include <mutex>

namespace grinsnap::share {

namespace {

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

CurlEasy::CurlEasy() {
  GlobalInit();
  handle_ = curl_easy_init();
}

CurlEasy::~CurlEasy() {
  if (handle_) curl_easy_cleanup(handle_);
}

void CurlEasy::Reset(const ShareConfig& config) {
  if (!handle_) return;
  curl_easy_reset(handle_);
  // Worker threads must not be interrupted by signals from name lookups.
  curl_easy_setopt(handle_, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle_, CURLOPT_SSL_VERIFYPEER, config.verifyPeer ? 1L : 0L);
  curl_easy_setopt(handle_, CURLOPT_SSL_VERIFYHOST, config.verifyPeer ? 2L : 0L);
  curl_easy_setopt(handle_, CURLOPT_CONNECTTIMEOUT, 30L);
}

long CurlEasy::ResponseCode() const {
  long code = 0;
  if (handle_) curl_easy_getinfo(handle_, CURLINFO_RESPONSE_CODE, &code);
  return code;
}

std::size_t AppendToString(char* data, std::size_t size, std::size_t count, void* userData) {
  auto* text = static_cast<std::string*>(userData);
  text->append(data, size * count);
  return size * count;
}

bool FileStream::Open(const std::string& path) {
  Close();
  if (path.empty()) return false;
  file_ = std::fopen(path.c_str(), "rb");
  if (!file_) return false;
  std::error_code ec;
  const auto bytes = std::filesystem::file_size(path, ec);
  if (ec) {
    Close();
    return false;
  }
  size_ = static_cast<long long>(bytes);
  offset_ = 0;
  return true;
}

void FileStream::Close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  size_ = 0;
  offset_ = 0;
}

std::size_t FileStream::Read(char* buffer, std::size_t size, std::size_t count, void* userData) {
  auto* self = static_cast<FileStream*>(userData);
  if (!self->file_) return kReadAbort;
  if (self->offset_ >= self->size_) return 0;
  if (self->cancel_.load()) return kReadAbort;
  if (std::fseek(self->file_, static_cast<long>(self->offset_), SEEK_SET) != 0) return kReadAbort;
  const std::size_t items = std::min(count, self->maxItems_);
  const std::size_t read = std::fread(buffer, size, items, self->file_);
  self->offset_ += static_cast<long long>(read * size);
  if (self->readProgress_) {
    const double percent = self->size_ > 0 ? double(self->offset_) / double(self->size_) * 100.0 : 0.0;
    self->readProgress_(percent, self->readContext_);
  }
  return read;
}

int UploadProgress::Report(void* userData, curl_off_t, curl_off_t, curl_off_t uploadTotal, curl_off_t uploadNow) {
  auto* self = static_cast<UploadProgress*>(userData);
  if (self->callback) {
    const double percent = uploadTotal > 0 ? double(uploadNow) / double(uploadTotal) * 100.0 : 0.0;
    self->callback(percent, self->context);
  }
  return self->cancel && self->cancel->load() ? 1 : 0;
}

void UploadProgress::Install(CURL* handle) {
  curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &UploadProgress::Report);
  curl_easy_setopt(handle, CURLOPT_XFERINFODATA, this);
}

std::string FileNameOf(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

std::string JsonValue(const std::string& json, const std::string& key) {
  const auto at = json.find("\"" + key + "\"");
  if (at == std::string::npos) return {};
  const auto open = json.find('"', at + key.size() + 2);
  if (open == std::string::npos) return {};
  const auto close = json.find('"', open + 1);
  if (close == std::string::npos) return {};
  return json.substr(open + 1, close - open - 1);
}

}  // namespace grinsnap::share
