#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include <sys/types.h>

#include "platform/files.h"

namespace grinsnap {

// How WriteFileAtomically sets the permissions of the file it writes.
enum class FileModeRule {
  kKeepExisting,  // a new file gets the mode (less the umask); an existing file keeps its own
  kAlways,        // the file gets exactly the mode, whatever it had before
};

// Replaces the file at path with bytes so that a reader sees either the old
// or the new content, never a half-written file: the bytes go to a temporary
// file in the same folder, are flushed to the disk, and the temporary file is
// then renamed over the target. On any failure the old file stays as it was,
// the temporary file is removed and false is returned (error says why).
//
// A symbolic link is written through: the file it points to is replaced and
// the link stays. Temporary files that an earlier write left in the folder
// when its process was killed (".NAME.tmpPID-N" of a process that is gone)
// are removed.
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes, std::string* error = nullptr,
                         mode_t mode = 0666, FileModeRule rule = FileModeRule::kKeepExisting);

// The file a write to path lands in: path itself, or the end of the chain
// of symbolic links that starts there (which need not exist yet).
std::filesystem::path WriteTarget(const std::filesystem::path& path);

// Reads a whole regular file of at most maxBytes (see ReadRegularFile);
// false when it cannot be opened or read.
bool ReadWholeFile(const std::filesystem::path& path, std::string& bytes, std::size_t maxBytes = kMaxDataFileBytes,
                   std::string* error = nullptr);

}  // namespace grinsnap
