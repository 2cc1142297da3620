#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace grinsnap {

// The largest data file the program reads whole: settings, language files,
// config.cfg, template.cfg and template documents are a few kilobytes; a
// file beyond this is not one of them.
inline constexpr std::size_t kMaxDataFileBytes = std::size_t(16) << 20;

// Reads a whole file of at most maxBytes. Only regular files are read: a
// FIFO, a device such as /dev/zero, a socket or a folder is refused without
// waiting on it (the file is opened non-blocking and checked before any byte
// is read). A file that grows past maxBytes while it is read is refused too.
// False, with the reason in error, when the file cannot be had.
bool ReadRegularFile(const std::filesystem::path& path, std::string& bytes, std::size_t maxBytes = kMaxDataFileBytes,
                     std::string* error = nullptr);

// A regular file open for reading, with the same refusals as
// ReadRegularFile: it lets a reader look at the first bytes of a file before
// it decides to read the rest.
class RegularFile {
public:
  RegularFile() = default;
  ~RegularFile();
  RegularFile(const RegularFile&) = delete;
  RegularFile& operator=(const RegularFile&) = delete;

  bool Open(const std::filesystem::path& path, std::uint64_t maxBytes, std::string* error = nullptr);
  std::uint64_t Size() const { return size_; }
  // Reads up to count bytes from offset into out (resized to what was read).
  bool ReadAt(std::uint64_t offset, std::size_t count, std::string& out, std::string* error = nullptr) const;

private:
  int fd_ = -1;
  std::uint64_t size_ = 0;
  std::filesystem::path path_;
};

}  // namespace grinsnap
