#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include <QObject>
#include <QString>

#include "core/photo_item.h"

namespace grinsnap {

// Reads picture files into photo items on a thread of its own, one file
// after the other in the order they were asked for, so that a large photo
// never holds up the interface. Each photo (with its working image and its
// thumbnail built, or with the reason it did not load) is handed to the
// owner's callback on the interface thread, with a copy of it fitted into
// the display box for showing.
class PhotoLoader : public QObject {
  Q_OBJECT
public:
  // path: the file as asked for; photo: its item, whose working image is
  // empty when the file did not load (LoadFailure() says why).
  using Delivery = std::function<void(const QString& path, PhotoItem& photo, const cv::Mat& display)>;

  PhotoLoader(Delivery deliver, int thumbnailBox, int displayBox, QObject* parent = nullptr);
  // Stops after the file in hand; photos not yet delivered are dropped.
  ~PhotoLoader() override;

  void Load(const QStringList& paths);
  // Files asked for and not delivered yet (on the interface thread).
  int Pending() const { return pending_; }
  bool Busy() const { return pending_ > 0; }
  // The file being read or next to be read; empty when idle.
  QString Current() const;

signals:
  // Pending() changed.
  void progress();

private:
  void Run();

  Delivery deliver_;
  const int thumbnailBox_;
  const int displayBox_;
  int pending_ = 0;
  QStringList waiting_;  // interface thread's view, in order

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<QString> queue_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace grinsnap
