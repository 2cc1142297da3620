#include "platform/files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace grinsnap {
namespace {

bool Fail(std::string* error, std::string message) {
  if (error) *error = std::move(message);
  return false;
}

std::string Reason(const fs::path& path, const char* what) { return path.string() + ": " + what; }
std::string Reason(const fs::path& path, int code) { return path.string() + ": " + std::strerror(code); }

}  // namespace

RegularFile::~RegularFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool RegularFile::Open(const fs::path& path, std::uint64_t maxBytes, std::string* error) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  size_ = 0;
  path_ = path;
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return Fail(error, Reason(path, errno));
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    const int code = errno;
    ::close(fd);
    return Fail(error, Reason(path, code));
  }
  if (!S_ISREG(info.st_mode)) {
    ::close(fd);
    return Fail(error, Reason(path, S_ISDIR(info.st_mode) ? "is a folder" : "not a regular file"));
  }
  const auto size = static_cast<std::uint64_t>(info.st_size);
  if (size > maxBytes) {
    ::close(fd);
    return Fail(error, path.string() + ": file too large (" + std::to_string(size) + " bytes; at most " +
                           std::to_string(maxBytes) + " are read)");
  }
  fd_ = fd;
  size_ = size;
  return true;
}

bool RegularFile::ReadAt(std::uint64_t offset, std::size_t count, std::string& out, std::string* error) const {
  out.resize(count);
  std::size_t have = 0;
  while (have < count) {
    const ssize_t got = ::pread(fd_, out.data() + have, count - have, static_cast<off_t>(offset + have));
    if (got < 0) {
      if (errno == EINTR) continue;
      const int code = errno;
      out.clear();
      return Fail(error, Reason(path_, code));
    }
    if (got == 0) break;
    have += static_cast<std::size_t>(got);
  }
  out.resize(have);
  return true;
}

bool ReadRegularFile(const fs::path& path, std::string& bytes, std::size_t maxBytes, std::string* error) {
  RegularFile file;
  if (!file.Open(path, maxBytes, error)) return false;
  // One byte more than the file had tells a file that grew since it was opened.
  std::string text;
  if (!file.ReadAt(0, static_cast<std::size_t>(file.Size()) + 1, text, error)) return false;
  if (text.size() > file.Size()) return Fail(error, Reason(path, "the file grew while it was read"));
  bytes = std::move(text);
  return true;
}

}  // namespace grinsnap
