#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace grinsnap {

// How a transfer may go. The defaults are what the program uses; tests
// shorten the times.
struct TransferOptions {
  long connectTimeoutSeconds = 15;
  // A transfer slower than lowSpeedBytes per second for lowSpeedSeconds is
  // given up: a stalled server must not keep a download running for ever.
  long lowSpeedBytes = 1;
  long lowSpeedSeconds = 30;
  long maxRedirects = 5;
  std::uint64_t maxBytes = 256ull << 20;  // a larger body is refused
};

struct TransferResult {
  bool ok = false;         // finished, HTTP 200, the body written completely
  bool cancelled = false;
  long httpCode = 0;       // the last response's status, 0 when none came
  std::string error;       // why it failed, for messages and logs
};

// (received, total) in bytes; total is 0 while the size is not known.
using TransferProgress = std::function<void(std::uint64_t received, std::uint64_t total)>;

// Fetches an http or https URL into a file (created or truncated). Other
// schemes are refused, also in redirects. Success only when the transfer
// ended without error and the final response was 200. The file is removed
// when the transfer fails. cancel, when given, stops the transfer soon after
// it is set.
TransferResult FetchToFile(const std::string& url, const std::filesystem::path& file, const TransferOptions& options,
                           const TransferProgress& progress = {}, const std::atomic<bool>* cancel = nullptr);

}  // namespace grinsnap
