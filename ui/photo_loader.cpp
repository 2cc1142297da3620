#include "ui/photo_loader.h"

#include <memory>

#include <opencv2/imgproc.hpp>

namespace grinsnap {

PhotoLoader::PhotoLoader(Delivery deliver, int thumbnailBox, int displayBox, QObject* parent)
    : QObject(parent), deliver_(std::move(deliver)), thumbnailBox_(thumbnailBox), displayBox_(displayBox) {}

PhotoLoader::~PhotoLoader() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
    queue_.clear();
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void PhotoLoader::Load(const QStringList& paths) {
  if (paths.isEmpty()) return;
  {
    std::lock_guard lock(mutex_);
    for (const QString& path : paths) queue_.push_back(path);
  }
  pending_ += static_cast<int>(paths.size());
  waiting_ += paths;
  // The thread starts with the first file and then stays for later ones.
  if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
  wake_.notify_all();
  emit progress();
}

QString PhotoLoader::Current() const { return waiting_.isEmpty() ? QString() : waiting_.front(); }

void PhotoLoader::Run() {
  for (;;) {
    QString path;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
      if (stop_) return;
      path = queue_.front();
      queue_.pop_front();
    }
    // The decode, the size cap and the turn all happen here; the interface
    // thread only stores the finished item.
    auto photo = std::make_shared<PhotoItem>(std::filesystem::path(path.toStdString()));
    auto display = std::make_shared<cv::Mat>();
    if (!photo->WorkingImage().empty()) {
      photo->MakeThumbnail(thumbnailBox_, thumbnailBox_);
      *display = ScaleToFit(photo->WorkingImage(), {displayBox_, displayBox_}, false, cv::INTER_AREA);
    }
    // Delivered in order through the interface thread's event queue; a
    // loader that is gone by then takes nothing (the context object is this).
    QMetaObject::invokeMethod(
        this,
        [this, path, photo, display] {
          --pending_;
          if (!waiting_.isEmpty()) waiting_.removeFirst();
          deliver_(path, *photo, *display);
          emit progress();
        },
        Qt::QueuedConnection);
  }
}

}  // namespace grinsnap
