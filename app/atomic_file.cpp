#include "app/atomic_file.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace grinsnap {
namespace {

std::string ErrnoText(const char* what, const fs::path& path, int code) {
  return std::string(what) + " " + path.string() + ": " + std::strerror(code);
}

// Closes a descriptor and removes the temporary file unless it was renamed.
class TemporaryFile {
public:
  TemporaryFile(int fd, fs::path path) : fd_(fd), path_(std::move(path)) {}
  ~TemporaryFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!renamed_) ::unlink(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  int fd() const { return fd_; }
  const fs::path& path() const { return path_; }
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }
  void MarkRenamed() { renamed_ = true; }

private:
  int fd_;
  fs::path path_;
  bool renamed_ = false;
};

// Opens a fresh temporary file beside target. The name starts with a dot and
// carries the process id and a counter, so concurrent writers never share one.
int OpenTemporaryBeside(const fs::path& target, mode_t mode, fs::path& tempPath) {
  static std::atomic<unsigned> counter{0};
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = folder / ("." + target.filename().string() + ".tmp" + std::to_string(::getpid()) + "-" +
                         std::to_string(counter.fetch_add(1)));
    const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

// Makes the rename itself durable; a failure here does not undo the
// replacement, so it is not reported.
void SyncFolder(const fs::path& target) {
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

bool WriteFileAtomically(const fs::path& path, std::string_view bytes, std::string* error, mode_t mode) {
  auto fail = [&](std::string message) {
    if (error) *error = std::move(message);
    return false;
  };
  if (path.empty() || !path.has_filename()) return fail("no file name to write");

  fs::path tempPath;
  const int fd = OpenTemporaryBeside(path, mode, tempPath);
  if (fd < 0) return fail(ErrnoText("cannot create a temporary file for", path, errno));
  TemporaryFile temp(fd, tempPath);

  struct stat old {};
  if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) ::fchmod(temp.fd(), old.st_mode & 07777);

  const char* data = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    const ssize_t written = ::write(temp.fd(), data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      return fail(ErrnoText("cannot write", tempPath, errno));
    }
    data += written;
    left -= static_cast<size_t>(written);
  }
  if (::fsync(temp.fd()) != 0) return fail(ErrnoText("cannot flush", tempPath, errno));
  if (!temp.Close()) return fail(ErrnoText("cannot close", tempPath, errno));
  if (::rename(tempPath.c_str(), path.c_str()) != 0) return fail(ErrnoText("cannot replace", path, errno));
  temp.MarkRenamed();
  SyncFolder(path);
  return true;
}

bool ReadWholeFile(const fs::path& path, std::string& bytes) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return false;
  bytes = std::move(text).str();
  return true;
}

}  // namespace grinsnap
