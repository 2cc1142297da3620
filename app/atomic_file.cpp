#include "app/atomic_file.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <system_error>

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

// Whether a folder entry is a temporary file that a write of another
// process left: ".NAME.tmpPID-N". Gives the process id.
bool IsTemporaryName(const std::string& name, pid_t& pid) {
  if (name.size() < 8 || name.front() != '.') return false;
  const size_t dash = name.rfind('-');
  if (dash == std::string::npos || dash + 1 == name.size()) return false;
  for (size_t i = dash + 1; i < name.size(); ++i)
    if (name[i] < '0' || name[i] > '9') return false;
  size_t digits = dash;
  while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9') --digits;
  if (digits == dash || dash - digits > 9 || digits < 6 || name.compare(digits - 4, 4, ".tmp") != 0) return false;
  pid = static_cast<pid_t>(std::stol(name.substr(digits, dash - digits)));
  return pid > 0;
}

// Removes the temporary files of writes whose process was killed before it
// could clean up. Only regular files of this user whose process is gone are
// touched; a live process (even an unrelated one that reuses the id) keeps
// its file.
void RemoveStaleTemporaries(const fs::path& folder) {
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    pid_t pid = 0;
    if (!IsTemporaryName(it->path().filename().string(), pid) || pid == ::getpid()) continue;
    if (::kill(pid, 0) == 0 || errno != ESRCH) continue;
    struct stat info {};
    if (::lstat(it->path().c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) continue;
    ::unlink(it->path().c_str());
  }
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

fs::path WriteTarget(const fs::path& path) {
  fs::path target = path;
  // As many links as the system itself follows before it gives up (ELOOP).
  for (int hop = 0; hop < 40; ++hop) {
    std::error_code ec;
    const fs::path next = fs::read_symlink(target, ec);
    if (ec) break;
    target = next.is_absolute() ? next : target.parent_path() / next;
  }
  return target;
}

bool WriteFileAtomically(const fs::path& requested, std::string_view bytes, std::string* error, mode_t mode,
                         FileModeRule rule) {
  auto fail = [&](std::string message) {
    if (error) *error = std::move(message);
    return false;
  };
  if (requested.empty() || !requested.has_filename()) return fail("no file name to write");
  const fs::path path = WriteTarget(requested);
  RemoveStaleTemporaries(path.has_parent_path() ? path.parent_path() : fs::path("."));

  fs::path tempPath;
  const int fd = OpenTemporaryBeside(path, mode, tempPath);
  if (fd < 0) return fail(ErrnoText("cannot create a temporary file for", path, errno));
  TemporaryFile temp(fd, tempPath);

  struct stat old {};
  if (rule == FileModeRule::kAlways) {
    if (::fchmod(temp.fd(), mode & 07777) != 0) return fail(ErrnoText("cannot set the permissions of", tempPath, errno));
  } else if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    ::fchmod(temp.fd(), old.st_mode & 07777);
  }

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

bool ReadWholeFile(const fs::path& path, std::string& bytes, std::size_t maxBytes, std::string* error) {
  return ReadRegularFile(path, bytes, maxBytes, error);
}

}  // namespace grinsnap
