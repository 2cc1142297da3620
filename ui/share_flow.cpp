#include "ui/share_flow.h"

#include <cstdlib>

#include <QCoreApplication>

#include "app/ini_file.h"
#include "app/string_table.h"
#include "platform/folders.h"
#include "share/share_clients.h"
#include "ui/app_context.h"
#include "ui/message_box.h"
#include "ui/upload_dialog.h"
#include "ui/upload_file.h"

namespace grinsnap {

std::filesystem::path ShareConfigFile() {
  if (const char* file = std::getenv("GRINSNAP_SHARE_CONFIG"); file && *file) return file;
  return SettingsFile().parent_path() / "share.ini";
}

share::ShareConfig LoadShareConfig(const std::filesystem::path& file) {
  share::ShareConfig config;
  IniFile ini;
  if (!ini.Load(file)) return config;
  const std::pair<const char*, std::string*> keys[] = {
      {"pixhavenRoot", &config.pixhavenRoot},       {"twitterWeb", &config.twitterWeb},
      {"twitterApi", &config.twitterApi},           {"twitterHome", &config.twitterHome},
      {"facebookWeb", &config.facebookWeb},         {"facebookGraph", &config.facebookGraph},
      {"facebookHome", &config.facebookHome},       {"facebookRedirect", &config.facebookRedirect},
      {"flickrWeb", &config.flickrWeb},             {"flickrUpload", &config.flickrUpload},
      {"flickrHome", &config.flickrHome},           {"flickrCallback", &config.flickrCallback},
      {"watermark", &config.watermark}};
  for (const auto& [key, value] : keys) {
    if (auto text = ini.ProfileString("Share", key); text && !text->empty()) *value = *text;
  }
  if (auto verify = ini.ProfileString("Share", "verifyPeer")) config.verifyPeer = *verify != "0";
  return config;
}

bool SharePicture(QWidget* parent, AppContext& app, share::ShareService service, const cv::Mat& picture,
                  const std::string& photoPath) {
  const share::ShareConfig config = LoadShareConfig(ShareConfigFile());
  const std::filesystem::path file = UploadFilePath();
  if (!MakeUploadFile(picture, config.watermark, file)) {
    ShowMessage(parent, app.QText(kIdsMakeUploadFileFailed), "Upload Failed");
    return false;
  }
  // The album service's refusals come from the worker thread; the box is
  // shown on the interface thread without making the worker wait for it.
  auto notify = [](const std::string& text, const std::string& caption) {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [text, caption] { ShowMessage(nullptr, QString::fromStdString(text), QString::fromStdString(caption)); },
        Qt::QueuedConnection);
  };
  CDlgUpload wizard(app, share::MakeShareClient(service, config, notify), file.string(), parent);
  wizard.SetValues(app.settings.ShareDefaults(), std::filesystem::path(photoPath).stem().string());
  wizard.exec();
  app.settings.TakeShareDialogResult(wizard.Values());
  return true;
}

}  // namespace grinsnap
