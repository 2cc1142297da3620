#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include <sys/types.h>

namespace grinsnap {

// Replaces the file at path with bytes so that a reader sees either the old
// or the new content, never a half-written file: the bytes go to a temporary
// file in the same folder, are flushed to the disk, and the temporary file is
// then renamed over the target. On any failure the old file stays as it was,
// the temporary file is removed and false is returned (error says why).
//
// A new file gets `mode` (less the umask); an existing file keeps its mode.
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes, std::string* error = nullptr,
                         mode_t mode = 0666);

// Reads a whole file; false when it cannot be opened or read.
bool ReadWholeFile(const std::filesystem::path& path, std::string& bytes);

}  // namespace grinsnap
