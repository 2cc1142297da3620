#include "app/template_package.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <system_error>

#include <zip.h>

namespace grinsnap {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kTemplateExtension = ".tmpl";
constexpr std::size_t kBlockBytes = 16384;

struct ArchiveCloser {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;

struct EntryCloser {
  void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using EntryFile = std::unique_ptr<zip_file_t, EntryCloser>;

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

std::string ZipErrorText(int code) {
  zip_error_t error;
  zip_error_init_with_code(&error, code);
  std::string text = zip_error_strerror(&error);
  zip_error_fini(&error);
  return text;
}

// The name without a leading "./".
std::string_view Relative(std::string_view name) {
  while (name.substr(0, 2) == "./") name.remove_prefix(2);
  return name;
}

// One entry of the archive as checked before anything is written.
struct PlannedEntry {
  zip_uint64_t index = 0;
  std::string name;      // as stored
  std::string relative;  // without "./" and without a directory's trailing '/'
  bool directory = false;
  zip_uint64_t size = 0;
  time_t mtime = 0;
  bool hasMtime = false;
};

// Reads and checks every entry; false with the reason on the first problem.
bool PlanEntries(zip_t* archive, const UnpackLimits& limits, std::vector<PlannedEntry>& plan, std::string& error) {
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  if (count < 0) {
    error = "the archive's entries cannot be read";
    return false;
  }
  if (static_cast<zip_uint64_t>(count) > limits.maxEntries) {
    error = "the archive has " + std::to_string(count) + " entries, more than the " +
            std::to_string(limits.maxEntries) + " a template package may have";
    return false;
  }
  std::set<std::string> seen;
  zip_uint64_t total = 0;
  for (zip_uint64_t i = 0; i < static_cast<zip_uint64_t>(count); ++i) {
    zip_stat_t st;
    zip_stat_init(&st);
    const char* raw = zip_get_name(archive, i, ZIP_FL_ENC_RAW);
    if (!raw || zip_stat_index(archive, i, ZIP_FL_ENC_RAW, &st) != 0) {
      error = "entry " + std::to_string(i) + " cannot be read";
      return false;
    }
    PlannedEntry entry;
    entry.index = i;
    entry.name = raw;
    const std::string quoted = "entry \"" + entry.name + "\"";
    if (const std::string problem = EntryNameProblem(entry.name); !problem.empty()) {
      error = quoted + ": " + problem;
      return false;
    }
    entry.directory = EndsWith(entry.name, "/");
    entry.relative = std::string(Relative(entry.name));
    if (entry.directory) entry.relative.pop_back();

    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(archive, i, 0, &system, &attributes) == 0 && system == ZIP_OPSYS_UNIX) {
      const mode_t type = (attributes >> 16) & S_IFMT;
      if (type == S_IFLNK) {
        error = quoted + " is a symbolic link";
        return false;
      }
      if (type != 0 && type != S_IFREG && type != S_IFDIR) {
        error = quoted + " is not a file or folder";
        return false;
      }
      if (type == S_IFDIR) entry.directory = true;
    }
    if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE) {
      error = quoted + " is encrypted";
      return false;
    }
    if (!(st.valid & ZIP_STAT_SIZE)) {
      error = quoted + " does not say its size";
      return false;
    }
    entry.size = entry.directory ? 0 : st.size;
    if (entry.size > limits.maxTotalBytes || total + entry.size > limits.maxTotalBytes) {
      error = quoted + " would unpack the archive beyond " + std::to_string(limits.maxTotalBytes) + " bytes";
      return false;
    }
    total += entry.size;
    if (st.valid & ZIP_STAT_MTIME) entry.mtime = st.mtime, entry.hasMtime = true;
    if (entry.relative.empty()) continue;  // "./" alone: the folder itself
    if (!seen.insert(entry.relative).second) {
      error = quoted + " is in the archive twice";
      return false;
    }
    plan.push_back(std::move(entry));
  }
  // A file that another entry uses as a folder cannot be both.
  for (const PlannedEntry& entry : plan) {
    if (entry.directory) continue;
    auto it = seen.lower_bound(entry.relative + "/");
    if (it != seen.end() && it->compare(0, entry.relative.size() + 1, entry.relative + "/") == 0) {
      error = "entry \"" + entry.name + "\" is a file and a folder";
      return false;
    }
  }
  return true;
}

// Creates the folders of a checked relative path below root. Every component
// was checked, and nothing below root is a link (the root is fresh and only
// this code writes there), so the folders stay inside root.
bool MakeFolders(const fs::path& root, const fs::path& relative, std::string& error) {
  std::error_code ec;
  fs::create_directories(root / relative, ec);
  if (ec) {
    error = "folder \"" + relative.generic_string() + "\" cannot be created: " + ec.message();
    return false;
  }
  return true;
}

void SetTimes(const fs::path& path, const PlannedEntry& entry) {
  if (!entry.hasMtime) return;
  const timespec times[2] = {{entry.mtime, 0}, {entry.mtime, 0}};
  utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

bool Cancelled(const std::atomic<bool>* cancel) { return cancel && cancel->load(std::memory_order_relaxed); }

bool ExtractFile(zip_t* archive, const PlannedEntry& entry, const fs::path& target, const std::atomic<bool>* cancel,
                 std::string& error) {
  const std::string quoted = "entry \"" + entry.name + "\"";
  EntryFile in(zip_fopen_index(archive, entry.index, 0));
  if (!in) {
    error = quoted + " cannot be opened: " + zip_strerror(archive);
    return false;
  }
  // O_EXCL and O_NOFOLLOW: never write through something already there.
  const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = quoted + " cannot be written: " + std::strerror(errno);
    return false;
  }
  std::vector<char> block(kBlockBytes);
  zip_uint64_t written = 0;
  bool ok = true;
  for (;;) {
    if (Cancelled(cancel)) {
      error = "cancelled";
      ok = false;
      break;
    }
    const zip_int64_t n = zip_fread(in.get(), block.data(), block.size());
    if (n < 0) {
      error = quoted + " is damaged: " + zip_file_strerror(in.get());
      ok = false;
      break;
    }
    if (n == 0) break;
    // The data may not grow past what the directory declared: that size
    // is what the limits were checked against.
    written += static_cast<zip_uint64_t>(n);
    if (written > entry.size) {
      error = quoted + " holds more data than it declares";
      ok = false;
      break;
    }
    for (zip_int64_t done = 0; done < n;) {
      const ssize_t w = ::write(fd, block.data() + done, static_cast<size_t>(n - done));
      if (w < 0) {
        if (errno == EINTR) continue;
        error = quoted + " cannot be written: " + std::strerror(errno);
        ok = false;
        break;
      }
      done += w;
    }
    if (!ok) break;
  }
  if (ok && written != entry.size) {
    error = quoted + " is shorter than it declares";
    ok = false;
  }
  if (::close(fd) != 0 && ok) {
    error = quoted + " cannot be written: " + std::strerror(errno);
    ok = false;
  }
  if (ok) SetTimes(target, entry);
  return ok;
}

// A unique new folder beside the others in parent.
bool MakeStagingFolder(const fs::path& parent, const char* prefix, fs::path& folder, std::string& error) {
  std::string pattern = (parent / (std::string(prefix) + "XXXXXX")).string();
  if (!::mkdtemp(pattern.data())) {
    error = "a staging folder cannot be made in \"" + parent.string() + "\": " + std::strerror(errno);
    return false;
  }
  folder = pattern;
  return true;
}

// Package installs into one directory take turns moving into place.
std::mutex& MoveMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace

std::string EntryNameProblem(std::string_view name) {
  if (name.empty()) return "the name is empty";
  if (name.front() == '/') return "the name is absolute";
  for (const char c : name) {
    if (c == '\\') return "the name holds a backslash";
    if (c == ':') return "the name holds a drive letter or ':'";
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return "the name holds a control character";
  }
  std::string_view rest = Relative(name);
  if (EndsWith(rest, "/")) rest.remove_suffix(1);
  if (rest.empty()) return {};
  for (size_t start = 0;;) {
    const size_t end = rest.find('/', start);
    const std::string_view part = rest.substr(start, end == std::string_view::npos ? rest.npos : end - start);
    if (part.empty()) return "the name has an empty folder";
    if (part == "..") return "the name climbs out with \"..\"";
    if (part == ".") return "the name has a \".\" folder";
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return {};
}

std::string TemplateFilePathFromEntryName(std::string_view name) {
  std::string path(name);
  std::replace(path.begin(), path.end(), '/', '\\');
  if (path.rfind(".\\", 0) != 0) path.insert(0, ".\\");
  return path;
}

UnpackResult UnpackPackage(const fs::path& package, const fs::path& folder, const UnpackLimits& limits,
                           const std::atomic<bool>* cancel) {
  UnpackResult result;
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    result.error = "the folder \"" + folder.string() + "\" does not exist";
    return result;
  }
  int code = 0;
  Archive archive(zip_open(package.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code));
  if (!archive) {
    result.error = "\"" + package.filename().string() + "\" is not a readable zip archive: " + ZipErrorText(code);
    return result;
  }
  std::vector<PlannedEntry> plan;
  if (!PlanEntries(archive.get(), limits, plan, result.error)) return result;
  for (const PlannedEntry& entry : plan)
    if (!entry.directory && EndsWith(entry.name, kTemplateExtension)) result.templateEntry = entry.name;
  if (result.templateEntry.empty()) {
    result.error = "the package holds no template document (\".tmpl\")";
    return result;
  }
  for (const PlannedEntry& entry : plan) {
    const fs::path relative(entry.relative);
    if (entry.directory) {
      if (!MakeFolders(folder, relative, result.error)) return result;
    } else {
      if (relative.has_parent_path() && !MakeFolders(folder, relative.parent_path(), result.error)) return result;
      if (!ExtractFile(archive.get(), entry, folder / relative, cancel, result.error)) return result;
    }
    result.entries.push_back(entry.name);
  }
  // Folders get their times after their files went in.
  for (const PlannedEntry& entry : plan)
    if (entry.directory) SetTimes(folder / entry.relative, entry);
  result.ok = true;
  return result;
}

InstallResult InstallPackage(const fs::path& package, const fs::path& templateDirectory, const UnpackLimits& limits,
                             const std::atomic<bool>* cancel) {
  InstallResult result;
  std::error_code ec;
  fs::create_directories(templateDirectory, ec);
  fs::path staging;
  if (!MakeStagingFolder(templateDirectory, ".unpacking-", staging, result.error)) return result;
  struct Cleanup {
    fs::path folder;
    ~Cleanup() {
      std::error_code ignored;
      fs::remove_all(folder, ignored);
    }
  } cleanStaging{staging};

  const UnpackResult unpacked = UnpackPackage(package, staging, limits, cancel);
  if (!unpacked.ok) {
    result.error = unpacked.error;
    return result;
  }
  if (Cancelled(cancel)) {
    result.error = "cancelled";
    return result;
  }
  std::vector<fs::path> tops;
  for (const auto& item : fs::directory_iterator(staging, ec)) tops.push_back(item.path().filename());
  if (ec) {
    result.error = "the unpacked package cannot be listed: " + ec.message();
    return result;
  }
  // The directory's own files are not a package's to replace: its list and
  // the thumbnails of the templates not yet downloaded.
  for (const fs::path& top : tops)
    if (top == "template.cfg" || top == "thumbs") {
      result.error = "the package would replace the directory's " + top.string();
      return result;
    }

  std::lock_guard lock(MoveMutex());
  // Earlier files of the same names step aside into a folder of their own
  // first, so that a failed move can bring them back.
  fs::path previous;
  if (!MakeStagingFolder(templateDirectory, ".replaced-", previous, result.error)) return result;
  Cleanup cleanPrevious{previous};
  std::vector<fs::path> setAside, placed;
  auto rollBack = [&] {
    std::error_code ignored;
    for (const fs::path& top : placed) fs::rename(templateDirectory / top, staging / top, ignored);
    for (const fs::path& top : setAside) fs::rename(previous / top, templateDirectory / top, ignored);
  };
  for (const fs::path& top : tops) {
    const fs::path target = templateDirectory / top;
    if (!fs::exists(fs::symlink_status(target, ec))) continue;
    fs::rename(target, previous / top, ec);
    if (ec) {
      result.error = "\"" + target.string() + "\" cannot be replaced: " + ec.message();
      rollBack();
      return result;
    }
    setAside.push_back(top);
  }
  for (const fs::path& top : tops) {
    fs::rename(staging / top, templateDirectory / top, ec);
    if (ec) {
      result.error = "\"" + (templateDirectory / top).string() + "\" cannot be written: " + ec.message();
      rollBack();
      return result;
    }
    placed.push_back(top);
  }
  result.ok = true;
  result.filePath = TemplateFilePathFromEntryName(unpacked.templateEntry);
  return result;
}

bool PackTemplateFolder(const fs::path& folder, const fs::path& package, std::string* error) {
  auto fail = [&](std::string why) {
    if (error) *error = std::move(why);
    return false;
  };
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return fail("\"" + folder.string() + "\" is not a folder");
  const fs::path base = fs::weakly_canonical(folder, ec);
  const std::string top = base.filename().string();
  if (top.empty() || !EntryNameProblem(top).empty()) return fail("the folder's name cannot name a package folder");

  struct File {
    std::string name;
    fs::path path;
  };
  std::vector<File> files;
  std::vector<std::string> folders;
  int documents = 0;
  for (auto it = fs::recursive_directory_iterator(base, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    const fs::path relative = it->path().lexically_relative(base);
    std::string name = top + "/" + relative.generic_string();
    if (it->is_symlink()) return fail("\"" + relative.string() + "\" is a symbolic link");
    if (it->is_directory()) {
      folders.push_back(name + "/");
      continue;
    }
    if (!it->is_regular_file()) return fail("\"" + relative.string() + "\" is not a regular file");
    const std::string extension = it->path().extension().string();
    if (extension == ".tmpl" || (extension == ".xml" && relative.parent_path().empty())) {
      ++documents;
      if (extension == ".xml") name.replace(name.size() - 4, 4, ".tmpl");
    }
    if (const std::string problem = EntryNameProblem(name); !problem.empty())
      return fail("\"" + relative.string() + "\": " + problem);
    files.push_back({name, it->path()});
  }
  if (ec) return fail("the folder cannot be read: " + ec.message());
  if (documents != 1)
    return fail(documents == 0 ? "the folder holds no template document (.tmpl or .xml)"
                               : "the folder holds more than one template document");
  // The order is the same on every run, so a package is reproducible.
  std::sort(files.begin(), files.end(), [](const File& a, const File& b) { return a.name < b.name; });
  std::sort(folders.begin(), folders.end());

  const fs::path temporary = package.string() + ".part";
  fs::remove(temporary, ec);
  int code = 0;
  zip_t* archive = zip_open(temporary.c_str(), ZIP_CREATE | ZIP_EXCL, &code);
  if (!archive) return fail("\"" + package.string() + "\" cannot be written: " + ZipErrorText(code));
  auto abandon = [&](std::string why) {
    zip_discard(archive);
    std::error_code ignored;
    fs::remove(temporary, ignored);
    return fail(std::move(why));
  };
  if (zip_dir_add(archive, (top + "/").c_str(), ZIP_FL_ENC_UTF_8) < 0)
    return abandon(std::string("the package cannot be written: ") + zip_strerror(archive));
  for (const std::string& name : folders)
    if (zip_dir_add(archive, name.c_str(), ZIP_FL_ENC_UTF_8) < 0)
      return abandon(std::string("the package cannot be written: ") + zip_strerror(archive));
  for (const File& file : files) {
    zip_source_t* source = zip_source_file(archive, file.path.c_str(), 0, -1);
    if (!source) return abandon("\"" + file.path.string() + "\" cannot be read: " + zip_strerror(archive));
    if (zip_file_add(archive, file.name.c_str(), source, ZIP_FL_ENC_UTF_8) < 0) {
      zip_source_free(source);
      return abandon(std::string("the package cannot be written: ") + zip_strerror(archive));
    }
  }
  if (zip_close(archive) != 0) return abandon(std::string("the package cannot be written: ") + zip_strerror(archive));
  fs::rename(temporary, package, ec);
  if (ec) {
    fs::remove(temporary, ec);
    return fail("\"" + package.string() + "\" cannot be written: " + ec.message());
  }
  return true;
}

}  // namespace grinsnap
