#include "app/version_check.h"

#include <mutex>
#include <optional>
#include <system_error>

#include "app/ini_file.h"
#include "app/string_table.h"
#include "app/template_library.h"
#include "platform/folders.h"
#include "platform/message_target.h"
#include "platform/messages.h"

namespace grinsnap {

namespace fs = std::filesystem;

namespace {

std::mutex& TargetMutex() {
  static std::mutex mutex;
  return mutex;
}
MessageTarget* gTarget = nullptr;

int IniInt(const IniFile& ini, const char* key) {
  const std::optional<std::string> value = ini.ProfileString(kVersionSection, key);
  return value ? ParseLeadingInt(value->c_str()) : 0;
}

}  // namespace

VersionDescriptor ReadVersionDescriptor(const fs::path& file) {
  IniFile ini;
  ini.Load(file);
  return {IniInt(ini, "version"), IniInt(ini, "build")};
}

void SetVersionResultTarget(MessageTarget* target) {
  std::lock_guard lock(TargetMutex());
  gTarget = target;
}

MessageTarget* VersionResultTarget() {
  std::lock_guard lock(TargetMutex());
  return gTarget;
}

fs::path VersionDescriptorCopy() { return AppDataFolder() / "version.ini"; }

VersionCheck::VersionCheck(SiteConfig site, fs::path localCopy, int programVersion, VersionCheckTexts texts,
                           TransferOptions options)
    : site_(std::move(site)),
      localCopy_(std::move(localCopy)),
      programVersion_(programVersion),
      texts_(std::move(texts)),
      options_(options) {}

VersionCheck::~VersionCheck() {
  cancel_ = true;
  if (thread_.joinable()) thread_.join();
}

void VersionCheck::Start() {
  if (thread_.joinable()) return;
  thread_ = std::thread([this] {
    const Outcome outcome = Run();
    if (cancel_) return;
    std::lock_guard lock(TargetMutex());
    if (!gTarget) return;
    if (outcome.message == kMsgVersionCheckFailed)
      gTarget->Post(outcome.message, 0, reinterpret_cast<LParam>(new std::string(outcome.error)));
    else
      gTarget->Post(outcome.message, static_cast<WParam>(outcome.version), outcome.build);
  });
}

VersionCheck::Outcome VersionCheck::Run() const {
  Outcome outcome;
  const std::string url = site_.DescriptorUrl();
  std::error_code ec;
  fs::create_directories(localCopy_.parent_path(), ec);
  // A check running beside another one writes its own file; the complete
  // descriptor then replaces the copy.
  const fs::path partial = localCopy_.string() + ".part" + std::to_string(reinterpret_cast<std::uintptr_t>(this));
  const TransferResult fetched = FetchToFile(url, partial, options_, {}, &cancel_);
  std::string reason;
  if (fetched.ok) {
    fs::rename(partial, localCopy_, ec);
    if (ec) reason = "\"" + localCopy_.string() + "\" cannot be written: " + ec.message();
  } else if (fetched.httpCode != 0 && fetched.httpCode != 200) {
    reason = FormatText(texts_.httpFailed, {url, std::to_string(fetched.httpCode)});
  } else {
    reason = fetched.error;
  }
  fs::remove(partial, ec);
  if (!reason.empty()) {
    // The reason stands on a line of its own before the closing advice.
    if (reason.back() != '\n') reason += '\n';
    outcome.message = kMsgVersionCheckFailed;
    outcome.error = FormatText(texts_.checkFailed, {kProductName, reason});
    return outcome;
  }
  const VersionDescriptor descriptor = ReadVersionDescriptor(localCopy_);
  outcome.version = descriptor.version;
  outcome.build = descriptor.build;
  outcome.message = programVersion_ < descriptor.version ? kMsgNewVersion : kMsgUpToDate;
  return outcome;
}

}  // namespace grinsnap
